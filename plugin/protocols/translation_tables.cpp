#include "protocols/translation_tables.h"

#include <algorithm>
#include <cstring>

#include "protocols/little_endian.h"
#include "protocols/record_file.h"

namespace sirrel {

namespace {

constexpr size_t kFontOffset = 256;
constexpr size_t kCharacterSetOffset = 288;
constexpr size_t kCodesOffset = 289;

constexpr std::array<CharacterSet, 19> kCharacterSets = {{
    {"ANSI", 0},
    {"Arabic", 178},
    {"Baltic", 186},
    {"Chinese BIG-5", 136},
    {"Chinese GB2312-80", 134},
    {"Default", 1},
    {"Eastern Europe", 238},
    {"Greek", 161},
    {"Hangeul", 129},
    {"Hebrew", 177},
    {"Johab", 130},
    {"Mac", 77},
    {"OEM", 255},
    {"Russian", 204},
    {"Shift JIS", 128},
    {"Symbol", 2},
    {"Thai", 222},
    {"Turkish", 162},
    {"Vietnamese", 163},
}};

using RecordBytes = std::array<uint8_t, TranslationTableRecord::kSize>;

bool ReadRecord(RecordFile &file, uint32_t index, TranslationTableRecord &record)
{
    RecordBytes bytes;
    if (!file.Read(index, bytes.data()))
        return false;
    record = TranslationTableRecord::FromBytes(bytes.data());
    return true;
}

bool WriteRecord(RecordFile &file, uint32_t index, const TranslationTableRecord &record)
{
    const RecordBytes bytes = record.ToBytes();
    return file.Write(index, bytes.data());
}

} // namespace

std::array<uint8_t, TranslationTableRecord::kSize> TranslationTableRecord::ToBytes() const
{
    RecordBytes bytes{};
    le::PutText(bytes.data(), kNameSize, name);
    le::PutText(bytes.data() + kFontOffset, kFontSize, font);
    bytes[kCharacterSetOffset] = characterSet;
    std::memcpy(bytes.data() + kCodesOffset, codes.data(), codes.size());
    return bytes;
}

TranslationTableRecord TranslationTableRecord::FromBytes(const uint8_t *bytes)
{
    TranslationTableRecord r;
    r.name = le::GetText(bytes, kNameSize);
    r.font = le::GetText(bytes + kFontOffset, kFontSize);
    r.characterSet = bytes[kCharacterSetOffset];
    std::memcpy(r.codes.data(), bytes + kCodesOffset, r.codes.size());
    return r;
}

TranslationTableRecord TranslationTableRecord::BuiltIn()
{
    TranslationTableRecord r;
    r.name = "Default";
    r.font = "Courier New";
    r.characterSet = 1;
    return r;
}

const std::array<CharacterSet, 19> &CharacterSets() { return kCharacterSets; }

int CharacterSetIndex(uint8_t code)
{
    for (size_t i = 0; i < kCharacterSets.size(); ++i) {
        if (kCharacterSets[i].code == code)
            return int(i);
    }
    return -1;
}

const char *const TranslationTables::kCannotAccessLanguage = "Cannot access the language file!";
const char *const TranslationTables::kCannotAccessTables = "Cannot access the translation tables file!";
const char *const TranslationTables::kInvalidName = "Invalid translation table name!";
const char *const TranslationTables::kNameExists = "A table with the same name already exists.";
const char *const TranslationTables::kLastTable = "There must be at least one translation table!";

TranslationTables::TranslationTables(std::string path, SettingsModel &settings)
    : path_(std::move(path)), settings_(settings), current_(TranslationTableRecord::BuiltIn())
{
    PutInForce();
}

void TranslationTables::PutInForce()
{
    settings_.translation = current_.codes;
    settings_.translationTableName = current_.name;
    settings_.translationFont = current_.font;
    settings_.translationCharacterSet = current_.characterSet;
}

std::string TranslationTables::Construct(const std::string &configuredName)
{
    std::string message = LoadList();
    if (!message.empty())
        return message;
    // A first start names no table, an older configuration may name one removed since: the list then shows the
    // table in force.
    const bool stored = std::find(names_.begin(), names_.end(), configuredName) != names_.end();
    return SelectByName(stored ? configuredName : current_.name);
}

std::string TranslationTables::LoadList()
{
    names_.clear();
    RecordFile file(TranslationTableRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessLanguage;
    TranslationTableRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i)
        names_.push_back(record.name);
    if (names_.empty()) {
        if (!WriteRecord(file, 0, current_))
            return kCannotAccessLanguage;
        names_.push_back(current_.name);
    }
    return "";
}

std::string TranslationTables::ApplySelected()
{
    RecordFile file(TranslationTableRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessLanguage;
    TranslationTableRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
        if (record.name != listText_)
            continue;
        current_ = record;
        // A code that is none of the list's keeps the entry that stays selected, and the record takes its code.
        const int index = CharacterSetIndex(current_.characterSet);
        if (index >= 0)
            characterSetIndex_ = index;
        current_.characterSet = kCharacterSets[characterSetIndex_].code;
        PutInForce();
        break;
    }
    return "";
}

std::string TranslationTables::SelectByName(const std::string &name)
{
    if (std::find(names_.begin(), names_.end(), name) == names_.end())
        return "";
    listText_ = name;
    return ApplySelected();
}

std::string TranslationTables::Add(const std::string &typed)
{
    if (typed.empty())
        return kInvalidName;
    const std::string name = typed.substr(0, TranslationTableRecord::kNameSize - 1);
    if (std::find(names_.begin(), names_.end(), name) != names_.end())
        return kNameExists;
    TranslationTableRecord record = current_;
    record.name = name;
    RecordFile file(TranslationTableRecord::kSize);
    if (!file.Open(path_) || !WriteRecord(file, file.Count(), record))
        return kCannotAccessTables;
    current_ = record;
    names_.push_back(name);
    listText_ = name;
    PutInForce();
    return "";
}

std::string TranslationTables::Update()
{
    RecordFile file(TranslationTableRecord::kSize);
    if (!file.Open(path_))
        return "";
    TranslationTableRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
        if (record.name == current_.name) {
            WriteRecord(file, i, current_);
            break;
        }
    }
    return "";
}

std::string TranslationTables::Remove()
{
    if (names_.size() == 1)
        return kLastTable;
    RecordFile file(TranslationTableRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessLanguage;
    RecordBytes bytes;
    uint32_t kept = 0;
    for (uint32_t i = 0; file.Read(i, bytes.data()); ++i) {
        if (TranslationTableRecord::FromBytes(bytes.data()).name == listText_)
            continue;
        if (kept != i && !file.Write(kept, bytes.data()))
            return kCannotAccessLanguage;
        ++kept;
    }
    if (!file.Truncate(kept))
        return kCannotAccessLanguage;
    file.Close();
    names_.erase(std::remove(names_.begin(), names_.end(), listText_), names_.end());
    if (names_.empty()) {
        listText_.clear();
        return "";
    }
    listText_ = names_.front();
    return ApplySelected();
}

void TranslationTables::SetDefaultCodes()
{
    current_.codes = SettingsModel::IdentityTranslation();
    PutInForce();
}

void TranslationTables::SetCharacterSet(int index)
{
    if (index < 0 || index >= int(kCharacterSets.size()))
        return;
    characterSetIndex_ = index;
    current_.characterSet = kCharacterSets[index].code;
    PutInForce();
}

void TranslationTables::SetFont(const std::string &font)
{
    current_.font = font.substr(0, TranslationTableRecord::kFontSize - 1);
    PutInForce();
}

void TranslationTables::SetCode(uint8_t source, uint8_t shown)
{
    current_.codes[source] = shown;
    PutInForce();
}

bool LoadTranslationTable(const std::string &path, const std::string &name, SettingsModel &settings)
{
    RecordFile file(TranslationTableRecord::kSize);
    if (file.OpenReadOnly(path)) {
        TranslationTableRecord record;
        for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
            if (record.name == name) {
                settings.translation = record.codes;
                settings.translationTableName = record.name;
                settings.translationFont = record.font;
                settings.translationCharacterSet = record.characterSet;
                return true;
            }
        }
    }
    if (name != "Default")
        return false;
    const TranslationTableRecord builtIn = TranslationTableRecord::BuiltIn();
    settings.translation = builtIn.codes;
    settings.translationTableName = builtIn.name;
    settings.translationFont = builtIn.font;
    settings.translationCharacterSet = builtIn.characterSet;
    return true;
}

} // namespace sirrel
