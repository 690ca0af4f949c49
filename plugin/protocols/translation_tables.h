// Character translation tables "SirrelTables.dat": named 545-byte records mapping every received byte to the
// byte shown, with a replacement font and its character set.
//
// TranslationTables is the engine side of the "Character translation tables" dialog: it holds the current
// record, which is the table in force, and puts its name and codes into the settings model after every change,
// where the sink reads them for every character.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/settings_model.h"

namespace sirrel {

struct TranslationTableRecord {
    static constexpr uint32_t kSize = 545;
    static constexpr size_t kNameSize = 256;
    static constexpr size_t kFontSize = 32;

    std::string name; // the key: exact, case-sensitive
    std::string font;
    uint8_t characterSet = 1;
    std::array<uint8_t, 256> codes = SettingsModel::IdentityTranslation();

    std::array<uint8_t, kSize> ToBytes() const;
    static TranslationTableRecord FromBytes(const uint8_t *bytes); // texts bounded by their slot

    // "Default", "Courier New", character set 1, every byte to itself.
    static TranslationTableRecord BuiltIn();
};

struct CharacterSet {
    const char *name;
    uint8_t code;
};

// The "Character set" list, in its order.
const std::array<CharacterSet, 19> &CharacterSets();
// The list position of the first entry with that code, or -1.
int CharacterSetIndex(uint8_t code);
constexpr int kDefaultCharacterSetIndex = 5;

class TranslationTables {
public:
    static const char *const kCannotAccessLanguage; // "Cannot access the language file!"
    static const char *const kCannotAccessTables;   // "Cannot access the translation tables file!"
    static const char *const kInvalidName;          // "Invalid translation table name!"
    static const char *const kNameExists;           // "A table with the same name already exists."
    static const char *const kLastTable;            // "There must be at least one translation table!"

    // Starts from the built-in table (put in force), without touching the file: call Construct.
    TranslationTables(std::string path, SettingsModel &settings);

    // The dialog's construction: loads the list and selects the table named in the configuration block.
    std::string Construct(const std::string &configuredName);

    const std::vector<std::string> &Names() const { return names_; }
    const std::string &ListText() const { return listText_; }
    const TranslationTableRecord &Current() const { return current_; }
    int SelectedCharacterSet() const { return characterSetIndex_; }

    // Refills the list from the file; an empty file receives the current record.
    std::string LoadList();
    // Reads the record named by the list's text into the current record.
    std::string ApplySelected();
    // The main window's list and protocols choose a table this way.
    std::string SelectByName(const std::string &name);
    // Appends the current record under a new name (the name dialog was answered with it).
    std::string Add(const std::string &name);
    // Overwrites the stored record of the current record's name.
    std::string Update();
    // Removes the table named by the list's text and applies the first one left.
    std::string Remove();

    // Edits of the current record; the file is written by "Update" or "Add".
    void SetDefaultCodes();
    void SetCharacterSet(int index);
    void SetFont(const std::string &font);
    // A click in the replacement font grid: the selected pair's source code shows `shown`.
    void SetCode(uint8_t source, uint8_t shown);

private:
    void PutInForce();

    const std::string path_;
    SettingsModel &settings_;
    TranslationTableRecord current_;
    std::vector<std::string> names_;
    std::string listText_;
    int characterSetIndex_ = kDefaultCharacterSetIndex;
};

// For programs without a window: puts the named table of the file in force. "Default" is the built-in table
// when the file does not hold it. False (settings untouched) when there is no such table. The file is read,
// never created or mended.
bool LoadTranslationTable(const std::string &path, const std::string &name, SettingsModel &settings);

} // namespace sirrel
