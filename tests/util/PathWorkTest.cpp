#include "util/PathWork.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs the scope with the current folder moved, so relative paths land in a temporary folder.
class CurrentDirGuard {
public:
    explicit CurrentDirGuard(const fs::path& to) : m_saved(fs::current_path()) {
        fs::current_path(to);
    }
    ~CurrentDirGuard() { fs::current_path(m_saved); }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
    fs::path m_saved;
};

// Sets or clears HOME for the scope and puts the previous value back afterwards.
class HomeGuard {
public:
    explicit HomeGuard(const char* value) {
        if (const char* old = std::getenv("HOME")) {
            m_saved = old;
        }
        if (value != nullptr) {
            setenv("HOME", value, 1);
        } else {
            unsetenv("HOME");
        }
    }
    ~HomeGuard() {
        if (m_saved) {
            setenv("HOME", m_saved->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }
    HomeGuard(const HomeGuard&) = delete;
    HomeGuard& operator=(const HomeGuard&) = delete;

private:
    std::optional<std::string> m_saved;
};

} // namespace

TEST(FormatTimeTest, ElementIsAtLeastTwoDigits) {
    EXPECT_EQ(FormatTimeElement(0), "00");
    EXPECT_EQ(FormatTimeElement(7), "07");
    EXPECT_EQ(FormatTimeElement(123), "123");
    EXPECT_EQ(FormatTimeElement(UINT32_MAX), "4294967295");
}

TEST(FormatTimeTest, HoursAppearOnlyFromOneWholeHour) {
    EXPECT_EQ(FormatTimeString(0.0F), "00:00");
    EXPECT_EQ(FormatTimeString(59.9F), "00:59");
    EXPECT_EQ(FormatTimeString(61.0F), "01:01");
    EXPECT_EQ(FormatTimeString(3599.0F), "59:59");
    EXPECT_EQ(FormatTimeString(3599.99F), "59:59");
    EXPECT_EQ(FormatTimeString(3600.0F), "01:00:00");
    EXPECT_EQ(FormatTimeString(3661.0F), "01:01:01");
    EXPECT_EQ(FormatTimeString(100.0F * 3600.0F), "100:00:00");
}

TEST(FormatTimeTest, SecondsOutsideTheRangeAreClamped) {
    EXPECT_EQ(FormatTimeString(-0.5F), "00:00");
    EXPECT_EQ(FormatTimeString(-3661.0F), "00:00");
    EXPECT_EQ(FormatTimeString(-std::numeric_limits<float>::infinity()), "00:00");
    EXPECT_EQ(FormatTimeString(std::nanf("")), "00:00");
    // UINT32_MAX seconds.
    EXPECT_EQ(FormatTimeString(1e20F), "1193046:28:15");
    EXPECT_EQ(FormatTimeString(std::numeric_limits<float>::infinity()), "1193046:28:15");
}

TEST(ModTest, RemainderTakesTheSignOfTheDividend) {
    EXPECT_EQ(mod(-7, 3), -1);
    EXPECT_EQ(mod(7, -3), 1);
    EXPECT_EQ(mod(-7, -3), -1);
    EXPECT_EQ(mod(7, 3), 1);
    EXPECT_EQ(mod(6, -3), 0);
    EXPECT_EQ(mod(INT32_MIN, 3), -2);
    EXPECT_EQ(mod(INT32_MAX, INT32_MIN), INT32_MAX);
}

TEST(ModTest, DivisorsThatWouldTrapGiveZero) {
    EXPECT_EQ(mod(5, 0), 0);
    EXPECT_EQ(mod(INT32_MIN, 0), 0);
    EXPECT_EQ(mod(INT32_MIN, -1), 0);
    EXPECT_EQ(mod(INT32_MAX, -1), 0);
}

TEST(CheckPathAndCreateTest, AbsolutePathGetsItsParentsButNotItsLastComponent) {
    TempDir dir;
    CheckPathAndCreate((dir / "a/b/c.cfg").c_str());
    EXPECT_TRUE(fs::is_directory(dir / "a/b"));
    EXPECT_FALSE(fs::exists(dir / "a/b/c.cfg"));

    CheckPathAndCreate((dir / "d/e/").c_str());
    EXPECT_TRUE(fs::is_directory(dir / "d/e"));

    // A file in the way is left alone, and so is everything beyond it.
    WriteFile(dir / "f", "keep");
    CheckPathAndCreate((dir / "f/g/h").c_str());
    EXPECT_EQ(ReadAll(dir / "f"), "keep");

    CheckPathAndCreate(nullptr);
}

TEST(CheckPathAndCreateTest, RelativePathNeverCreatesItsFirstComponent) {
    TempDir dir;
    CurrentDirGuard cwd(dir.Path());

    CheckPathAndCreate("plain.cfg");
    CheckPathAndCreate("x/y/z");
    EXPECT_TRUE(fs::is_empty(dir.Path())) << "x is not made, so x/y cannot be either";

    fs::create_directory(dir / "x");
    CheckPathAndCreate("x/y/z");
    EXPECT_TRUE(fs::is_directory(dir / "x/y"));
    EXPECT_FALSE(fs::exists(dir / "x/y/z"));
}

TEST(CreateFlashTrustCFGTest, ReplacesTheWholeFileWithExactlyTheContent) {
    TempDir dir;
    const std::string cfg = dir / "SWFHarvexTrustFiles.cfg";
    WriteFile(cfg, "/a/much/longer/folder/than/the/next/one\n");

    EXPECT_TRUE(CreateFlashTrustCFG("/short", cfg));
    EXPECT_EQ(ReadAll(cfg), "/short");

    EXPECT_TRUE(CreateFlashTrustCFG("", cfg));
    EXPECT_TRUE(fs::exists(cfg));
    EXPECT_EQ(fs::file_size(cfg), 0U);
}

TEST(CreateFlashTrustCFGTest, CreatesTheMissingTrustFolders) {
    TempDir home;
    const std::string cfg = home / "Library/Preferences/Macromedia/Flash Player/#Security/"
                                   "FlashPlayerTrust/SWFHarvexSaveTrustFiles.cfg";
    const std::string content = home / "Documents/SWFHarvexData";

    EXPECT_TRUE(CreateFlashTrustCFG(content, cfg));
    EXPECT_EQ(ReadAll(cfg), content);
}

TEST(CreateFlashTrustCFGTest, ReportsFilesThatCannotBeWritten) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(CreateFlashTrustCFG("/x", dir / "folder"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));

    // The write lands in the stream's buffer; only the flush on close finds the device full.
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(CreateFlashTrustCFG("/x", "/dev/full"));
    }

    // A zero byte would cut the path short at "a.cfg".
    std::string cut = dir / "a.cfg";
    cut += std::string("\0b", 2);
    EXPECT_FALSE(CreateFlashTrustCFG("/x", cut));
    EXPECT_FALSE(fs::exists(dir / "a.cfg"));
}

TEST(CheckFLVFileStatusTest, TrustsHttpUrlsAndChecksFilesForTheSignature) {
    TempDir dir;
    EXPECT_TRUE(CheckFLVFileStatus("http://example.invalid/no/such/file.flv"));
    EXPECT_TRUE(CheckFLVFileStatus("http://"));
    EXPECT_FALSE(CheckFLVFileStatus("HTTP://example.invalid/movie.flv"));
    EXPECT_FALSE(CheckFLVFileStatus("https://example.invalid/movie.flv"));

    WriteFile(dir / "movie.flv", std::string("FLV\x01\x05", 5));
    WriteFile(dir / "exact.flv", "FLV");
    WriteFile(dir / "short.flv", "FL");
    WriteFile(dir / "movie.swf", "FWS\x08");
    EXPECT_TRUE(CheckFLVFileStatus(dir / "movie.flv"));
    EXPECT_TRUE(CheckFLVFileStatus(dir / "exact.flv"));
    EXPECT_FALSE(CheckFLVFileStatus(dir / "short.flv"));
    EXPECT_FALSE(CheckFLVFileStatus(dir / "movie.swf"));
    EXPECT_FALSE(CheckFLVFileStatus(dir / "missing.flv"));
    EXPECT_FALSE(CheckFLVFileStatus(dir.Path().string()));
}

TEST(PathFileExistsTest, FollowsSymbolicLinks) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    fs::create_symlink(dir / "file", dir / "link");
    fs::create_symlink(dir / "gone", dir / "dangling");

    EXPECT_TRUE(PathFileExists((dir / "file").c_str()));
    EXPECT_TRUE(PathFileExists(dir.Path().c_str()));
    EXPECT_TRUE(PathFileExists((dir / "link").c_str()));
    EXPECT_FALSE(PathFileExists((dir / "missing").c_str()));
    EXPECT_FALSE(PathFileExists((dir / "dangling").c_str()));
    EXPECT_FALSE(PathFileExists(nullptr));
}

TEST(GetUsrHomeDirectoryTest, AnswersHomeOrNull) {
    TempDir home;
    {
        HomeGuard guard(home.Path().c_str());
        const char* answer = GetUsrHomeDirectory();
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(std::string(answer), home.Path().string());
    }
    // Unset, empty or relative: no home folder to write the trust files in.
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "home", "./home"}) {
        HomeGuard guard(unusable);
        EXPECT_EQ(GetUsrHomeDirectory(), nullptr) << (unusable ? unusable : "(unset)");
    }
}
