#include "protocols/protocol_library.h"

#include <algorithm>
#include <array>

#include "protocols/product_name.h"
#include "protocols/record_file.h"

namespace sirrel {

const char *const ProtocolLibrary::kCannotAccessSettings = "Cannot access the settings file!";
const char *const ProtocolLibrary::kCannotAccessProtocols = "Cannot access the protocols file!";
const char *const ProtocolLibrary::kInvalidName = "Invalid protocol name!";
const char *const ProtocolLibrary::kNameExists = "A protocol with the same name already exists.";
const char *const ProtocolLibrary::kCreateDefaultQuestion =
    "All changes to the default protocols will be lost! Do you wish to continue ?";

namespace {

using RecordBytes = std::array<uint8_t, ProtocolRecord::kSize>;

bool ReadRecord(RecordFile &file, uint32_t index, ProtocolRecord &record)
{
    RecordBytes bytes;
    if (!file.Read(index, bytes.data()))
        return false;
    record = ProtocolRecord::FromBytes(bytes.data());
    return true;
}

bool WriteRecord(RecordFile &file, uint32_t index, const ProtocolRecord &record)
{
    const RecordBytes bytes = record.ToBytes();
    return file.Write(index, bytes.data());
}

// A name as it comes back from its slot.
std::string StoredName(const std::string &name) { return name.substr(0, ProtocolRecord::kNameSize - 1); }

} // namespace

void ProtocolLibrary::SelectText()
{
    const auto found = std::find(list_.names.begin(), list_.names.end(), list_.text);
    list_.selected = found == list_.names.end() ? -1 : int(found - list_.names.begin());
}

std::string ProtocolLibrary::LoadList()
{
    list_.names.clear();
    list_.selected = -1;
    RecordFile file(ProtocolRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessSettings;
    ProtocolRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i)
        list_.names.push_back(record.name);
    SelectText();
    return "";
}

std::string ProtocolLibrary::Add(const std::string &typed)
{
    if (typed.empty())
        return kInvalidName;
    const std::string name = StoredName(typed);
    std::string message = LoadList();
    if (!message.empty())
        return message;
    if (std::find(list_.names.begin(), list_.names.end(), name) != list_.names.end())
        return kNameExists;
    list_.text = name;
    RecordFile file(ProtocolRecord::kSize);
    if (!file.Open(path_) || !WriteRecord(file, file.Count(), ProtocolRecord::FromSettings(name, settings_)))
        return kCannotAccessProtocols;
    list_.names.push_back(name);
    list_.selected = int(list_.names.size()) - 1;
    return "";
}

std::string ProtocolLibrary::Update()
{
    RecordFile file(ProtocolRecord::kSize);
    if (!file.Open(path_))
        return "";
    ProtocolRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
        if (record.name == list_.text) {
            WriteRecord(file, i, ProtocolRecord::FromSettings(list_.text, settings_));
            break;
        }
    }
    return "";
}

std::string ProtocolLibrary::Remove()
{
    if (list_.names.empty())
        return "";
    RecordFile file(ProtocolRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessSettings;
    RecordBytes bytes;
    uint32_t kept = 0;
    for (uint32_t i = 0; file.Read(i, bytes.data()); ++i) {
        if (ProtocolRecord::FromBytes(bytes.data()).name == list_.text)
            continue;
        if (kept != i && !file.Write(kept, bytes.data()))
            return kCannotAccessSettings;
        ++kept;
    }
    if (!file.Truncate(kept))
        return kCannotAccessSettings;
    list_.names.erase(std::remove(list_.names.begin(), list_.names.end(), list_.text), list_.names.end());
    list_.text.clear();
    list_.selected = -1;
    return "";
}

std::string ProtocolLibrary::CreateDefault(const Confirm &confirm)
{
    if (!confirm || !confirm(kCreateDefaultQuestion))
        return "";
    {
        RecordFile file(ProtocolRecord::kSize);
        if (!file.Open(path_))
            return kCannotAccessSettings;
        const std::vector<ProtocolRecord> &defaults = DefaultProtocols();
        std::vector<bool> present(defaults.size(), false);
        ProtocolRecord record;
        for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
            for (size_t d = 0; d < defaults.size(); ++d) {
                if (defaults[d].name == record.name) {
                    if (!WriteRecord(file, i, defaults[d]))
                        return kCannotAccessSettings;
                    present[d] = true;
                    break;
                }
            }
        }
        for (size_t d = 0; d < defaults.size(); ++d) {
            if (!present[d] && !WriteRecord(file, file.Count(), defaults[d]))
                return kCannotAccessSettings;
        }
    }
    // The list shows the file, so it follows the new records.
    std::string message = LoadList();
    if (!message.empty())
        return message;
    return ApplySelected();
}

std::string ProtocolLibrary::ApplySelected()
{
    RecordFile file(ProtocolRecord::kSize);
    if (!file.Open(path_))
        return kCannotAccessSettings;
    ProtocolRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
        if (record.name == list_.text) {
            record.ApplyTo(settings_);
            break;
        }
    }
    return "";
}

std::vector<std::string> StoredProtocolNames(const std::string &path)
{
    std::vector<std::string> names;
    RecordFile file(ProtocolRecord::kSize);
    if (!file.OpenReadOnly(path))
        return names;
    ProtocolRecord record;
    for (uint32_t i = 0; ReadRecord(file, i, record); ++i)
        names.push_back(record.name);
    return names;
}

std::optional<ProtocolRecord> FindProtocol(const std::string &path, const std::string &name)
{
    RecordFile file(ProtocolRecord::kSize);
    if (file.OpenReadOnly(path)) {
        ProtocolRecord record;
        for (uint32_t i = 0; ReadRecord(file, i, record); ++i) {
            if (record.name == name)
                return record;
        }
    }
    if (const ProtocolRecord *record = FindDefaultProtocol(name))
        return *record;
    return std::nullopt;
}

} // namespace sirrel
