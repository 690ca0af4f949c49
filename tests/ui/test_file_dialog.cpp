// The file selector on a scratch tree, driven as a user would: clicks on its list and keys typed into it while
// its modal loop waits. Errors are caught through the selector's message box hook.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "headless_fixture.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/platform/messages.h"

namespace sirrel::test {
namespace {

namespace fs = std::filesystem;

// Where the selector draws the rows of its list, in its client area.
constexpr int32_t kListLeft = 30;
constexpr int32_t kFirstRowCentre = 68;
constexpr int32_t kRowHeight = 18;

using Step = std::function<void(HeadlessDriver *display, uint32_t window)>;

Step Type(const std::string &text)
{
    return [text](HeadlessDriver *display, uint32_t window) { display->TypeText(window, text); };
}
Step Press(uint32_t key)
{
    return [key](HeadlessDriver *display, uint32_t window) { display->PressKey(window, key); };
}
Step DoubleClickRow(int32_t row)
{
    return [row](HeadlessDriver *display, uint32_t window) {
        display->DoubleClick(window, kListLeft, kFirstRowCentre + row * kRowHeight);
    };
}
Step ClickRow(int32_t row)
{
    return [row](HeadlessDriver *display, uint32_t window) {
        display->Click(window, kListLeft, kFirstRowCentre + row * kRowHeight);
    };
}
// Enters a name in the field: from the list, tab reaches the field next.
std::vector<Step> EnterFromList(const std::string &name) { return {Press(kKeyTab), Type(name), Press(kKeyReturn)}; }

class FileDialogTest : public HeadlessUi {
protected:
    FileDialogTest()
    {
        std::string pattern = (fs::temp_directory_path() / "sirrel-files-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        for (const char *folder : {"beta", "Alpha", ".hidden"})
            fs::create_directory(root / folder);
        for (const char *file : {"b.txt", "A.TXT", "c.wav", ".secret.txt", "Alpha/inside.txt"})
            std::ofstream(root / file) << "x";
    }
    ~FileDialogTest() override { fs::remove_all(root); }

    // Runs the selector with one step taken each time its loop waits; escape once the steps are done.
    std::string Run(FileDialogOptions options, std::vector<Step> steps)
    {
        options.title = "Select the Log File Name";
        options.filterName = "Simple text (*.txt)";
        if (options.pattern.empty())
            options.pattern = "*.txt";
        if (options.initialPath.empty())
            options.initialPath = root.string();
        options.messageBox = [this](Oru_Window *, const std::string &caption, const std::string &text, uint32_t) {
            EXPECT_EQ(caption, "Select the Log File Name");
            errors.push_back(text);
            return uint32_t(kBoxOk);
        };
        display->SetIdleHandler([this, steps, next = size_t(0)]() mutable {
            const auto windows = display->Windows();
            if (windows.empty())
                return;
            if (next < steps.size())
                steps[next++](display, windows.back());
            else
                display->PressKey(windows.back(), kKeyEscape);
        });
        return ShowFileDialog(nullptr, options);
    }

    fs::path root;
    std::vector<std::string> errors;
};

TEST_F(FileDialogTest, ListsFoldersFirstThenMatchingFilesWithoutHiddenOnes)
{
    // "..", "Alpha/", "beta/", "A.TXT", "b.txt": names sorted without regard to case, the pattern too.
    struct Case {
        int32_t row;
        fs::path expected;
    };
    const Case cases[] = {
        {0, root.parent_path() / "probe.txt"},
        {1, root / "Alpha" / "probe.txt"},
        {2, root / "beta" / "probe.txt"},
        {3, root / "A.TXT"},
        {4, root / "b.txt"},
        {5, root / "probe.txt"},
    };
    FileDialogOptions options;
    options.defaultExtension = "txt";
    for (const Case &c : cases) {
        std::vector<Step> steps{DoubleClickRow(c.row)};
        for (Step &step : EnterFromList("probe"))
            steps.push_back(step);
        EXPECT_EQ(Run(options, steps), c.expected.string()) << "row " << c.row;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileDialogTest, TypedPathsAreTakenRelativeToTheShownFolderOrAsTheyStand)
{
    struct Case {
        std::vector<std::string> typed; // each followed by return
        fs::path expected;
    };
    const std::string name = root.filename().string();
    const Case cases[] = {
        {{"b.txt"}, root / "b.txt"},
        {{"beta/new"}, root / "beta" / "new.txt"},
        {{(root / "beta" / "x.log").string()}, root / "beta" / "x.log"},
        {{"../" + name + "/b.txt"}, root / "b.txt"},
        {{"beta", "y"}, root / "beta" / "y.txt"},
        {{"beta/", "../Alpha", "inside.txt"}, root / "Alpha" / "inside.txt"},
        {{"~/beta/z.txt"}, root / "beta" / "z.txt"},
    };
    const char *home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("HOME", root.c_str(), 1);
    FileDialogOptions options;
    options.defaultExtension = "txt";
    for (const Case &c : cases) {
        std::vector<Step> steps;
        for (const std::string &typed : c.typed) {
            steps.push_back(Type(typed));
            steps.push_back(Press(kKeyReturn));
        }
        EXPECT_EQ(Run(options, steps), c.expected.string()) << c.typed.front();
    }
    setenv("HOME", savedHome.c_str(), 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileDialogTest, ReturnInTheListOpensTheSelectedEntry)
{
    EXPECT_EQ(Run({}, {ClickRow(1), Press(kKeyReturn), ClickRow(1), Press(kKeyReturn)}),
              (root / "Alpha" / "inside.txt").string());
    // A file clicked once is proposed in the field.
    EXPECT_EQ(Run({}, {ClickRow(4), Press(kKeyTab), Press(kKeyReturn)}), (root / "b.txt").string());
}

TEST_F(FileDialogTest, APatternTypedShowsTheFilesItMatches)
{
    EXPECT_EQ(Run({}, {Type("*.wav"), Press(kKeyReturn), DoubleClickRow(3)}), (root / "c.wav").string());
}

TEST_F(FileDialogTest, InitialPathProposesItsNameInTheNearestFolderThatExists)
{
    FileDialogOptions options;
    options.initialPath = (root / "beta" / "log.txt").string();
    EXPECT_EQ(Run(options, {Press(kKeyReturn)}), (root / "beta" / "log.txt").string());
    options.initialPath = (root / "gone" / "deeper" / "f.txt").string();
    EXPECT_EQ(Run(options, {Press(kKeyReturn)}), (root / "f.txt").string());
}

TEST_F(FileDialogTest, CancelGivesNothing)
{
    EXPECT_EQ(Run({}, {Type("b.txt"), Press(kKeyEscape)}), "");
    display->SetIdleHandler(nullptr);
    FileDialogOptions options;
    options.initialPath = root.string();
    EXPECT_EQ(ShowFileDialog(nullptr, options), "") << "nobody to answer";
}

TEST_F(FileDialogTest, RefusedNamesAreExplainedAndTheSelectorStaysOpen)
{
    struct Case {
        std::string typed;
        bool mustExist;
        std::string message;
    };
    const Case cases[] = {
        {"nofolder/x.txt", false, "The folder \"" + (root / "nofolder").string() + "\" does not exist."},
        {"nofolder/", false, "The folder \"" + (root / "nofolder").string() + "\" does not exist."},
        {"missing.txt", true, "The file \"" + (root / "missing.txt").string() + "\" does not exist."},
        {std::string(1100, 'n'), false, "The path is longer than 1023 characters:"},
    };
    const Step erase = [](HeadlessDriver *display, uint32_t window) {
        for (int i = 0; i < 1100; ++i)
            display->PressKey(window, kKeyBack);
    };
    for (const Case &c : cases) {
        errors.clear();
        FileDialogOptions options;
        options.mustExist = c.mustExist;
        EXPECT_EQ(Run(options, {Type(c.typed), Press(kKeyReturn), erase, Type("b.txt"), Press(kKeyReturn)}),
                  (root / "b.txt").string())
            << c.typed;
        ASSERT_EQ(errors.size(), 1u) << c.typed;
        EXPECT_EQ(errors[0].substr(0, c.message.size()), c.message);
    }
}

TEST_F(FileDialogTest, AFolderThatCannotBeOpenedIsNamedWithTheReason)
{
    fs::create_directory(root / "gone");
    // "..", "Alpha/", "beta/", "gone/": the folder goes between the listing and the double click.
    const Step removeIt = [this](HeadlessDriver *, uint32_t) { fs::remove(root / "gone"); };
    std::vector<Step> steps{removeIt, DoubleClickRow(3)};
    for (Step &step : EnterFromList("probe"))
        steps.push_back(step);
    EXPECT_EQ(Run({}, steps), (root / "probe").string()) << "still in the folder it was in";
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "The folder \"" + (root / "gone").string() + "\" cannot be opened:\n" +
                             std::make_error_code(std::errc::no_such_file_or_directory).message() + ".");

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    errors.clear();
    fs::create_directory(root / "locked");
    chmod((root / "locked").c_str(), 0);
    EXPECT_EQ(Run({}, {DoubleClickRow(3)}), "");
    chmod((root / "locked").c_str(), 0700);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "The folder \"" + (root / "locked").string() + "\" cannot be opened:\n" +
                             std::make_error_code(std::errc::permission_denied).message() + ".");
}

TEST_F(FileDialogTest, AFileToWriteMustBeWritable)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    chmod((root / "b.txt").c_str(), 0444);
    FileDialogOptions options;
    options.mustBeWritable = true;
    EXPECT_EQ(Run(options, {Type("b.txt"), Press(kKeyReturn)}), "");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].substr(0, errors[0].find(':')),
              "The file \"" + (root / "b.txt").string() + "\" cannot be written to");
}

} // namespace
} // namespace sirrel::test
