// OruString_Set_FromRegistry over the registry file, and OruString_Set_CurrentDirectory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

#include "orurt.h"

namespace {

namespace fs = std::filesystem;

// Saves an environment variable and puts it back afterwards.
class SavedVariable {
public:
    explicit SavedVariable(const char *name) : name_(name)
    {
        if (const char *value = getenv(name))
            value_ = value;
    }
    ~SavedVariable()
    {
        if (value_) {
            setenv(name_, value_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char *name_;
    std::optional<std::string> value_;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "orurt-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        OruString_Construct(&s);
    }
    void TearDown() override
    {
        OruString_Destruct(&s, 0);
        fs::remove_all(dir_);
    }

    static void Write(const fs::path &path, const std::string &content)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string Read(uint32_t root, const char *subKey, const char *value)
    {
        OruString_Set_FromRegistry(&s, root, subKey, value);
        EXPECT_EQ(s.Text[s.Length], 0);
        return std::string(s.Text, s.Length);
    }

    SavedVariable registry_{"KEL_REGISTRY"}, config_{"XDG_CONFIG_HOME"}, home_{"HOME"};
    fs::path dir_;
    OruString s;
};

const char kRegistry[] = "; settings of the decoder host\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\KEL]\n"
                         "SearchPath=/opt/kel/data\n"
                         "  Spaced  =  value with spaces  \n"
                         "Empty=\n"
                         "@=default value\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software\\KEL]\n"
                         "SearchPath=/home/user/kel\n"
                         "\n"
                         "[hkey_local_machine\\SOFTWARE\\Other\\Deep]\n"
                         "Name=deep\n"
                         "Equation=a=b\n"
                         "[HKEY_CURRENT_CONFIG\\Display]\r\n"
                         "Mode=crlf\r\n";

TEST_F(RegistryTest, LooksUpValuesByKeyAndName)
{
    fs::path file = dir_ / "registry.ini";
    Write(file, kRegistry);
    setenv("KEL_REGISTRY", file.c_str(), 1);

    struct Case {
        uint32_t root;
        const char *subKey;
        const char *value;
        const char *expected;
    };
    const Case cases[] = {
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath", "/opt/kel/data"},
        {ORU_HKEY_LOCAL_MACHINE, "software\\kel", "SEARCHPATH", "/opt/kel/data"},
        {ORU_HKEY_CURRENT_USER, "Software\\KEL", "SearchPath", "/home/user/kel"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "Spaced", "value with spaces"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "Empty", ""},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "", "default value"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", nullptr, "default value"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\Other\\Deep", "name", "deep"},
        {ORU_HKEY_LOCAL_MACHINE, "Software/Other/Deep", "Name", "deep"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\Other\\Deep", "Equation", "a=b"},
        {ORU_HKEY_CURRENT_CONFIG, "Display", "Mode", "crlf"},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "Missing", ""},
        {ORU_HKEY_LOCAL_MACHINE, "Software\\Missing", "SearchPath", ""},
        {ORU_HKEY_LOCAL_MACHINE, "Software", "SearchPath", ""},           // no inheritance from subkeys
        {ORU_HKEY_LOCAL_MACHINE, "Software\\KEL\\Sub", "SearchPath", ""}, // nor from parents
        {ORU_HKEY_LOCAL_MACHINE, "Software\\Other", "Name", ""},
        {ORU_HKEY_USERS, "Software\\KEL", "SearchPath", ""},
        {ORU_HKEY_CLASSES_ROOT, "Software\\KEL", "SearchPath", ""},
        {0x12345678u, "Software\\KEL", "SearchPath", ""},
    };
    for (const Case &c : cases) {
        OruString_Set_String(&s, "previous");
        EXPECT_EQ(Read(c.root, c.subKey, c.value), c.expected)
            << std::hex << c.root << ' ' << c.subKey << ' ' << (c.value ? c.value : "(null)");
    }
}

TEST_F(RegistryTest, LongValueFollowsTheCapacityRule)
{
    fs::path file = dir_ / "registry.ini";
    std::string longPath = "/" + std::string(200, 'p');
    Write(file, "[HKEY_LOCAL_MACHINE\\Software\\KEL]\nSearchPath=" + longPath + "\n");
    setenv("KEL_REGISTRY", file.c_str(), 1);
    EXPECT_EQ(Read(ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath"), longPath);
    EXPECT_EQ(s.Capacity, 256u);
}

TEST_F(RegistryTest, MissingFileLeavesTheStringEmpty)
{
    setenv("KEL_REGISTRY", (dir_ / "absent.ini").c_str(), 1);
    OruString_Set_String(&s, "previous");
    EXPECT_EQ(Read(ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath"), "");
}

TEST_F(RegistryTest, FileLocationFallsBackToConfigFolders)
{
    unsetenv("KEL_REGISTRY");
    Write(dir_ / "xdg" / "kel" / "registry.ini", "[HKEY_LOCAL_MACHINE\\Software\\KEL]\nSearchPath=xdg\n");
    Write(dir_ / "home" / ".config" / "kel" / "registry.ini", "[HKEY_LOCAL_MACHINE\\Software\\KEL]\nSearchPath=home\n");
    setenv("HOME", (dir_ / "home").c_str(), 1);

    setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
    EXPECT_EQ(Read(ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath"), "xdg");

    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Read(ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath"), "home");

    setenv("KEL_REGISTRY", "", 1); // empty counts as unset
    EXPECT_EQ(Read(ORU_HKEY_LOCAL_MACHINE, "Software\\KEL", "SearchPath"), "home");
}

TEST_F(RegistryTest, CurrentDirectory)
{
    fs::path previous = fs::current_path();
    // Deep enough that the path outgrows a first guess at its size.
    fs::path deep = dir_;
    for (int i = 0; i < 12; ++i)
        deep /= std::string(60, char('a' + i));
    fs::create_directories(deep);
    fs::current_path(deep);
    OruString_Set_CurrentDirectory(&s);
    std::string text(s.Text, s.Length);
    fs::current_path(previous);

    EXPECT_EQ(text, deep.string());
    EXPECT_EQ(s.Capacity, (s.Length + 64) / 64 * 64);
}

} // namespace
