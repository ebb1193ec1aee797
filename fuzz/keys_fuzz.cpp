// The key-combination text parser and the display names on any text. The
// text form written back from what was parsed must parse to the same
// combination, and a text and its parsed combination must have the same name.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzzsupport.h"
#include "input/keycombo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The settings file hands over texts of any length; a slot keeps 31 bytes.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(strnlen(text.c_str(), text.size()));
    for (const std::string& input : {text, text.substr(0, 31)}) {
        KeyCombo combo;
        clearKey(&combo);
        str2key(input.c_str(), &combo);
        if (combo.count > KEY_COMBO_KEYS)
            fuzzsupport::fail("count above " + std::to_string(KEY_COMBO_KEYS));

        char written[KEY_COMBO_TEXT_SIZE + 8];
        memset(written, 'x', sizeof written);
        key2str(&combo, written);
        if (memchr(written, '\0', KEY_COMBO_TEXT_SIZE) == nullptr)
            fuzzsupport::fail("text form longer than its buffer");
        KeyCombo back;
        clearKey(&back);
        str2key(written, &back);
        if (!keyComboEqual(&combo, &back))
            fuzzsupport::fail("\"" + std::string(written) + "\" parses to another combination");

        std::string byText = getKeyNameString(input.c_str());
        std::string byCombo = getKeyNameString(&combo);
        std::string byWritten = getKeyNameString(written);
        if (byText != byCombo || byText != byWritten)
            fuzzsupport::fail("names differ: " + byText + " / " + byCombo + " / " + byWritten);
        if (byText.size() >= 512) fuzzsupport::fail("name longer than its buffer");

        // Clearing a slot's text leaves it unassigned.
        char slot[32];
        snprintf(slot, sizeof slot, "%s", input.c_str());
        clearKey(slot);
        if (slot[0] != '\0' && strlen(slot) >= sizeof slot)
            fuzzsupport::fail("cleared text too long");
    }
    return 0;
}
