#include "foundation/FileManager.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(FileManagerTest, CreatesChecksMovesAndRemoves) {
    TempDir dir;
    FileManager& files = FileManager::defaultManager();
    const std::string deep = dir / "a/b/c";

    EXPECT_FALSE(files.createDirectoryAtPath(deep, false)); // parents missing
    EXPECT_TRUE(files.createDirectoryAtPath(deep, true));
    EXPECT_TRUE(files.createDirectoryAtPath(deep, true)); // already there is fine
    EXPECT_FALSE(files.createDirectoryAtPath(deep, false));
    EXPECT_TRUE(files.fileExistsAtPath(deep));

    const std::string file = dir.Write("movie.swf", {'F', 'W', 'S'});
    EXPECT_FALSE(files.createDirectoryAtPath(file, true)); // a file is in the way
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_FALSE(files.fileExistsAtPath(dir / "dangling"));
    fs::create_symlink(file, dir / "link");
    EXPECT_TRUE(files.fileExistsAtPath(dir / "link"));

    const std::string other = dir.Write("other.swf", {'C', 'W', 'S'});
    EXPECT_TRUE(files.moveItemAtPath(other, file)); // replaces
    EXPECT_FALSE(files.fileExistsAtPath(other));
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "CWS");
    EXPECT_FALSE(files.moveItemAtPath(dir / "absent", dir / "x"));

    EXPECT_TRUE(files.removeFileAtPath(dir / "a")); // a whole tree
    EXPECT_FALSE(files.fileExistsAtPath(dir / "a"));
    EXPECT_TRUE(files.removeFileAtPath(dir / "dangling"));
    EXPECT_FALSE(files.removeFileAtPath(dir / "a"));
    EXPECT_FALSE(files.removeFileAtPath(""));
    EXPECT_TRUE(files.removeFileAtPath(dir / "link"));
    EXPECT_TRUE(files.fileExistsAtPath(file)); // the link went, its target stays
}

TEST(FileManagerTest, HomeComesFromTheEnvironmentFirst) {
    const char* saved = std::getenv("HOME");
    const std::optional<std::string> previous =
        saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    TempDir dir;
    setenv("HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(NSHomeDirectory(), dir.Path().string());
    unsetenv("HOME");
    EXPECT_FALSE(NSHomeDirectory().empty()); // from the password database
    if (previous) {
        setenv("HOME", previous->c_str(), 1);
    }
}

} // namespace
