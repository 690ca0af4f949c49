#include "ui/file_dialog.h"

#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/lists.h"
#include "ui/message_box.h"
#include "ui/platform/messages.h"

namespace sirrel {

namespace {

namespace fs = std::filesystem;

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 390;
constexpr int32_t kGap = 10;
constexpr int32_t kLabelWidth = 90;
constexpr int32_t kRow = 22;
constexpr int32_t kButtonWidth = 76;
constexpr int32_t kButtonHeight = 24;
constexpr int32_t kAccepted = 1;
constexpr int32_t kCancelled = 2;
constexpr const char *kUp = "..";

struct Entry {
    std::string name;
    bool folder;
};

bool LessIgnoringCase(const std::string &a, const std::string &b)
{
    const auto lower = [](unsigned char c) { return char(std::tolower(c)); };
    std::string la(a.size(), ' ');
    std::string lb(b.size(), ' ');
    std::transform(a.begin(), a.end(), la.begin(), lower);
    std::transform(b.begin(), b.end(), lb.begin(), lower);
    return la != lb ? la < lb : a < b;
}

// Patterns match without regard to case: files made on other systems often end in ".WAV" or ".TXT".
bool Matches(const std::string &patterns, const std::string &name)
{
    size_t start = 0;
    while (start <= patterns.size()) {
        const size_t end = std::min(patterns.find(';', start), patterns.size());
        const std::string one = patterns.substr(start, end - start);
        if (!one.empty() && fnmatch(one.c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The folders and the matching files of `folder`, folders first, each sorted by name; hidden entries left out.
bool ReadFolder(const fs::path &folder, const std::string &patterns, std::vector<Entry> &entries,
                std::error_code &error)
{
    entries.clear();
    fs::directory_iterator it(folder, error);
    if (error)
        return false;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            return false;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code statusError;
        if (it->is_directory(statusError))
            entries.push_back({name, true});
        else if (!statusError && Matches(patterns, name))
            entries.push_back({name, false});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.folder != b.folder ? a.folder : LessIgnoringCase(a.name, b.name);
    });
    if (folder.has_relative_path())
        entries.insert(entries.begin(), {kUp, true});
    return true;
}

fs::path Normal(const fs::path &path)
{
    fs::path normal = path.lexically_normal();
    if (normal.has_relative_path() && normal.filename().empty())
        normal = normal.parent_path();
    return normal;
}

class Oru_FileDialog : public Oru_Dialog {
public:
    explicit Oru_FileDialog(const FileDialogOptions &options) : options_(options), patterns_(options.pattern) {}
    bool Build(Oru_Window *owner);
    std::string Chosen() const { return chosen_; }
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    // Return in the name field takes what was typed; leaving the field does not.
    class NameField : public Oru_EditField {
    public:
        Oru_FileDialog *dialog = nullptr;
        int32_t KeyEvent(int32_t kind, uint32_t key) override
        {
            if (kind == kKeyPressed && key == kKeyReturn) {
                dialog->Accept();
                return 1;
            }
            return Oru_EditField::KeyEvent(kind, key);
        }
    };
    // A double click opens the entry the first click selected.
    class EntryList : public Oru_ListBox {
    public:
        Oru_FileDialog *dialog = nullptr;
        void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override
        {
            if (code == kMouseLeftDoubleClick)
                dialog->OpenSelected();
            else
                Oru_ListBox::MouseEvent(code, keys, x, y);
        }
    };

    static void Picked(Oru_Window *, void *self);
    void Error(const std::string &text);
    bool Navigate(const fs::path &folder, const std::string &select = {});
    void OpenSelected();
    void Accept();
    void Choose(const fs::path &file);

    FileDialogOptions options_;
    std::string patterns_;
    fs::path folder_;
    std::vector<Entry> entries_;
    std::string chosen_;
    Oru_Label lookIn_;
    Oru_Label folderLabel_;
    EntryList list_;
    Oru_Label nameLabel_;
    NameField name_;
    Oru_Label typeLabel_;
    Oru_Label filter_;
    Oru_PushButton ok_;
    Oru_PushButton cancel_;
};

bool Oru_FileDialog::Build(Oru_Window *owner)
{
    SetEndsLoop(false);
    if (!CreateFrame(owner, 0, 0, kWidth, kHeight, options_.title, false))
        return false;
    const Rect content = ContentRect();
    const int32_t left = content.left + kGap;
    const int32_t right = content.right - kGap;
    const int32_t fieldLeft = left + kLabelWidth;
    int32_t y = content.top + kGap;
    lookIn_.CreateLabel(this, left, y, kLabelWidth, kRow, "Look in:");
    folderLabel_.CreateLabel(this, fieldLeft, y, right - fieldLeft, kRow, "");
    y += kRow + 4;
    const int32_t bottom = content.bottom - kGap - kButtonHeight - kGap - 2 * (kRow + 6);
    list_.dialog = this;
    list_.CreateList(this, left, y, right - left, bottom - y);
    list_.SetClickCallback(&Oru_FileDialog::Picked, this);
    y = bottom + kGap;
    nameLabel_.CreateLabel(this, left, y, kLabelWidth, kRow, "File name:");
    name_.dialog = this;
    name_.CreateEdit(this, fieldLeft, y, right - fieldLeft, kRow, "");
    name_.SetMaxLength(options_.maxLength);
    y += kRow + 6;
    typeLabel_.CreateLabel(this, left, y, kLabelWidth, kRow, "Files of type:");
    filter_.CreateLabel(this, fieldLeft, y, right - fieldLeft, kRow, options_.filterName);
    const int32_t buttonsTop = content.bottom - kGap - kButtonHeight;
    ok_.CreateButton(this, right - 2 * kButtonWidth - kGap, buttonsTop, kButtonWidth, kButtonHeight, "OK");
    ok_.SetClickCallback([](Oru_Window *, void *self) { static_cast<Oru_FileDialog *>(self)->Accept(); }, this);
    cancel_.CreateButton(this, right - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight, "Cancel");
    cancel_.SetClickCallback(
        [](Oru_Window *, void *self) { static_cast<Oru_FileDialog *>(self)->EndDialog(kCancelled); }, this);

    // Start where the initial path points; a folder that is gone or unreadable gives way to the nearest one above
    // it that can be shown, keeping the proposed name.
    std::error_code error;
    fs::path start = options_.initialPath.empty() ? fs::current_path(error) : fs::path(options_.initialPath);
    start = Normal(fs::absolute(start, error));
    if (!fs::is_directory(start, error)) {
        name_.SetText(start.filename().string());
        start = start.parent_path();
    }
    for (std::vector<Entry> probe; !ReadFolder(start, patterns_, probe, error) && start != start.parent_path();)
        start = start.parent_path();
    Navigate(start);
    name_.SetFocus();
    return true;
}

void Oru_FileDialog::Error(const std::string &text)
{
    if (options_.messageBox)
        options_.messageBox(this, options_.title, text, kBoxOk);
    else
        ShowMessageBox(this, options_.title, text, kBoxOk);
}

bool Oru_FileDialog::Navigate(const fs::path &folder, const std::string &select)
{
    std::vector<Entry> entries;
    std::error_code error;
    if (!ReadFolder(folder, patterns_, entries, error)) {
        Error("The folder \"" + folder.string() + "\" cannot be opened:\n" + error.message() + ".");
        return false;
    }
    folder_ = folder;
    entries_ = std::move(entries);
    OruStringList items;
    OruStringList_Construct(&items);
    int32_t selected = -1;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry &entry = entries_[i];
        OruStringList_Add_String(&items, (entry.folder && entry.name != kUp ? entry.name + "/" : entry.name).c_str());
        if (entry.folder && entry.name == select)
            selected = int32_t(i);
    }
    list_.SetItems(items);
    OruStringList_Destruct(&items, 0);
    list_.Select(selected);
    folderLabel_.SetText(folder_.string());
    return true;
}

void Oru_FileDialog::Picked(Oru_Window *, void *self)
{
    auto *dialog = static_cast<Oru_FileDialog *>(self);
    const int32_t index = dialog->list_.Selected();
    if (index >= 0 && !dialog->entries_[size_t(index)].folder)
        dialog->name_.SetText(dialog->entries_[size_t(index)].name);
}

void Oru_FileDialog::OpenSelected()
{
    const int32_t index = list_.Selected();
    if (index < 0)
        return;
    const Entry entry = entries_[size_t(index)];
    if (entry.name == kUp)
        Navigate(folder_.parent_path(), folder_.filename().string());
    else if (entry.folder)
        Navigate(folder_ / entry.name);
    else
        Choose(folder_ / entry.name);
}

void Oru_FileDialog::Accept()
{
    std::string typed = name_.Text();
    if (typed.empty()) {
        OpenSelected();
        return;
    }
    if (typed == "~" || typed.starts_with("~/")) {
        const char *home = std::getenv("HOME");
        if (home)
            typed = home + typed.substr(1);
    }
    // A pattern typed shows the files it matches.
    if (typed.find_first_of("*?") != std::string::npos && typed.find('/') == std::string::npos) {
        patterns_ = typed;
        name_.SetText("");
        Navigate(folder_);
        return;
    }
    const fs::path path = Normal(fs::path(typed).is_absolute() ? fs::path(typed) : folder_ / typed);
    std::error_code error;
    if (fs::is_directory(path, error)) {
        if (Navigate(path))
            name_.SetText("");
        return;
    }
    if (typed.back() == '/') {
        Error("The folder \"" + path.string() + "\" does not exist.");
        return;
    }
    Choose(path);
}

void Oru_FileDialog::Choose(const fs::path &file)
{
    fs::path path = file;
    std::error_code error;
    if (!options_.defaultExtension.empty() && !path.has_extension() && !fs::exists(path, error))
        path += "." + options_.defaultExtension;
    const fs::path folder = path.parent_path();
    if (!fs::is_directory(folder, error)) {
        Error("The folder \"" + folder.string() + "\" does not exist.");
        return;
    }
    const bool exists = fs::exists(path, error);
    if (options_.mustExist && !exists) {
        Error("The file \"" + path.string() + "\" does not exist.");
        return;
    }
    if (options_.mustBeWritable) {
        if (exists && access(path.c_str(), W_OK) != 0) {
            Error("The file \"" + path.string() + "\" cannot be written to:\n" + std::strerror(errno) + ".");
            return;
        }
        if (!exists && access(folder.c_str(), W_OK) != 0) {
            Error("The folder \"" + folder.string() + "\" cannot be written to:\n" + std::strerror(errno) + ".");
            return;
        }
    }
    if (path.string().size() > options_.maxLength) {
        Error("The path is longer than " + std::to_string(options_.maxLength) + " characters:\n" + path.string());
        return;
    }
    chosen_ = path.string();
    EndDialog(kAccepted);
}

int32_t Oru_FileDialog::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    if (key == kKeyEscape) {
        EndDialog(kCancelled);
        return 1;
    }
    if (key == kKeyReturn && FocusedChild() == &list_) {
        OpenSelected();
        return 1;
    }
    return 0;
}

} // namespace

std::string ShowFileDialog(Oru_Window *owner, const FileDialogOptions &options)
{
    Oru_FileDialog dialog(options);
    if (!dialog.Build(owner))
        return {};
    return dialog.RunModal(kCancelled) == kAccepted ? dialog.Chosen() : std::string();
}

} // namespace sirrel
