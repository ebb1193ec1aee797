#include "catalogue/cdrows.h"

#include <string_view>
#include <unordered_map>

// One pass over wanted with a finger in shown. A shown row of which shown
// holds more copies from the finger on than wanted still needs goes; a shown
// row equal to the wanted one stays; any other wanted row is inserted before
// the finger. Everything before position row is final, so each edit acts at
// the current wanted row's position.
std::vector<CdrowsEdit> cdrowsDiff(const std::vector<std::string>& shown,
                                   const std::vector<std::string>& wanted) {
    // Copies left in shown minus copies wanted still needs, by text.
    std::unordered_map<std::string_view, int> surplus;
    for (const std::string& text : shown) surplus[text]++;
    for (const std::string& text : wanted) surplus[text]--;

    std::vector<CdrowsEdit> edits;
    size_t old = 0;
    int row = 0;
    for (const std::string& text : wanted) {
        while (old < shown.size() && shown[old] != text && surplus[shown[old]] > 0) {
            edits.push_back({CdrowsEdit::Remove, row});
            surplus[shown[old]]--;
            old++;
        }
        if (old < shown.size() && shown[old] == text) {
            old++;
        } else {
            edits.push_back({CdrowsEdit::Insert, row});
            surplus[text]++;
        }
        row++;
    }
    for (; old < shown.size(); old++) edits.push_back({CdrowsEdit::Remove, row});
    return edits;
}

int cdrowsCursor(const std::vector<std::string>& rows, const std::string& current) {
    for (size_t row = rows.size(); row-- > 0;)
        if (rows[row] == current) return static_cast<int>(row);
    return -1;
}
