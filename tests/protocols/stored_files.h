// A scratch data folder per test and whole-file helpers for the stored-settings tests.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sirrel {

using Bytes = std::vector<uint8_t>;

// Made in the constructor so that fixture members can name paths in it.
class ScratchFolder : public ::testing::Test {
protected:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-stored-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        folder = pattern + "/";
    }
    ~ScratchFolder() override { std::filesystem::remove_all(folder); }

    std::string path(const std::string &name) const { return folder + name; }

    static Bytes load(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void save(const std::string &file, const Bytes &bytes)
    {
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    static bool exists(const std::string &file) { return std::filesystem::exists(file); }

    std::string folder;
};

// Holds the advisory write lock of a file as another process would.
class ForeignLock {
public:
    explicit ForeignLock(const std::string &file) : handle_(open(file.c_str(), O_RDWR | O_CREAT, 0666))
    {
        EXPECT_GE(handle_, 0);
        EXPECT_EQ(flock(handle_, LOCK_EX | LOCK_NB), 0);
    }
    ~ForeignLock() { close(handle_); }
    ForeignLock(const ForeignLock &) = delete;
    ForeignLock &operator=(const ForeignLock &) = delete;

private:
    int handle_;
};

// Saves an environment variable, sets or clears it, and puts it back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const char *value) : name_(name)
    {
        if (const char *old = getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *name_;
    std::optional<std::string> old_;
};

} // namespace sirrel
