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
    // Rows equal at both ends stay as they are and need no look-up: a filter
    // change often touches a few rows only.
    size_t head = 0;
    while (head < shown.size() && head < wanted.size() && shown[head] == wanted[head]) head++;
    size_t shownEnd = shown.size(), wantedEnd = wanted.size();
    while (shownEnd > head && wantedEnd > head && shown[shownEnd - 1] == wanted[wantedEnd - 1]) {
        shownEnd--;
        wantedEnd--;
    }

    // Nothing left shown (the first fill): every wanted row is inserted, no
    // look-up needed.
    std::vector<CdrowsEdit> edits;
    int row = static_cast<int>(head);
    if (shownEnd == head) {
        edits.reserve(wantedEnd - head);
        for (size_t i = head; i < wantedEnd; i++) edits.push_back({CdrowsEdit::Insert, row++});
        return edits;
    }

    // Copies left in shown minus copies wanted still needs, by text.
    std::unordered_map<std::string_view, int> surplus;
    surplus.reserve(shownEnd - head + wantedEnd - head);
    for (size_t i = head; i < shownEnd; i++) surplus[shown[i]]++;
    for (size_t i = head; i < wantedEnd; i++) surplus[wanted[i]]--;

    size_t old = head;
    for (size_t i = head; i < wantedEnd; i++) {
        const std::string& text = wanted[i];
        while (old < shownEnd && shown[old] != text && surplus[shown[old]] > 0) {
            edits.push_back({CdrowsEdit::Remove, row});
            surplus[shown[old]]--;
            old++;
        }
        if (old < shownEnd && shown[old] == text) {
            old++;
        } else {
            edits.push_back({CdrowsEdit::Insert, row});
            surplus[text]++;
        }
        row++;
    }
    for (; old < shownEnd; old++) edits.push_back({CdrowsEdit::Remove, row});
    return edits;
}

int cdrowsCursor(const std::vector<std::string>& rows, const std::string& current) {
    for (size_t row = rows.size(); row-- > 0;)
        if (rows[row] == current) return static_cast<int>(row);
    return -1;
}
