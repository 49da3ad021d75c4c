#include "foundation/FileManager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ForkedChild.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "foundation/Log.h"

namespace {

namespace fs = std::filesystem;

// Inside a forked child GoogleTest cannot report; a failed check says which and ends the child.
#define CHILD_CHECK(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: child check failed: %s\n", __FILE__, __LINE__,            \
                         #condition);                                                              \
            return 1;                                                                              \
        }                                                                                          \
    } while (false)

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes that differ at every offset within a megabyte, so a misplaced block shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    }
    return bytes;
}

std::string WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

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

TEST(FileManagerTest, FailuresNameThePathAndTheReason) {
    TempDir dir;
    FileManager& files = FileManager::defaultManager();
    const std::string file = WriteText(dir / "file", "x");
    struct Case {
        Outcome<> outcome;
        Failure expected;
    };
    const Case cases[] = {
        {files.createDirectoryAtPath(dir / "a/b"), {dir / "a/b", "No such file or directory"}},
        {files.createDirectoryAtPath(file), {file, "File exists"}},
        {files.createDirectoryAtPath(dir / "file/sub"), {dir / "file/sub", "Not a directory"}},
        {files.removeItemAtPath(dir / "absent"), {dir / "absent", "No such file or directory"}},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.outcome.ok()) << c.expected.message();
        EXPECT_EQ(c.outcome.failure(), c.expected);
    }
    EXPECT_TRUE(files.createDirectoryAtPath(dir / "a").ok());
    EXPECT_TRUE(files.removeItemAtPath(dir / "a").ok());
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"file"});
}

TEST(FileManagerTest, ACopyIsWholeAndKeepsTheSourcesPermissions) {
    TempDir dir;
    FileManager& files = FileManager::defaultManager();
    // Larger than one request of the fallback's buffer, not a multiple of any block size.
    const std::string bytes = Pattern((3 << 20) + 12345);
    const std::string source = WriteText(dir / "source.swf", bytes);
    fs::permissions(source, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ASSERT_TRUE(files.copyPath(source, dir / "copy.swf").ok());
    EXPECT_TRUE(ReadWholeFile(dir / "copy.swf") == bytes);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "copy.swf").c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0640 & ~mask);

    WriteText(dir / "empty", "");
    ASSERT_TRUE(files.copyPath(dir / "empty", dir / "empty copy").ok());
    EXPECT_EQ(ReadWholeFile(dir / "empty copy"), "");

    // Replacing: the new bytes, in place of the old.
    WriteText(dir / "old.swf", "old");
    ASSERT_TRUE(files.replaceItemByCopying(source, dir / "old.swf").ok());
    EXPECT_TRUE(ReadWholeFile(dir / "old.swf") == bytes);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"copy.swf", "empty", "empty copy",
                                                           "old.swf", "source.swf"}));
}

TEST(FileManagerTest, ARefusedCopyLeavesEverythingAsItWas) {
    TempDir dir;
    FileManager& files = FileManager::defaultManager();
    const std::string source = WriteText(dir / "source.swf", "FWS new");
    const std::string target = WriteText(dir / "target.swf", "old");
    fs::create_directory(dir / "folder");
    struct Case {
        std::string from;
        std::string to;
        bool replace;
        Failure expected;
    };
    const Case cases[] = {
        {dir / "missing.swf",
         dir / "new.swf",
         false,
         {dir / "missing.swf", "No such file or directory"}},
        {dir / "folder", dir / "new.swf", true, {dir / "folder", "Is a directory"}},
        {source, target, false, {target, "File exists"}},
        {source, dir / "folder", false, {dir / "folder", "File exists"}},
        {source, dir / "folder", true, {dir / "folder", "Is a directory"}},
        {source,
         dir / "absent/new.swf",
         true,
         {dir / "absent/new.swf", "No such file or directory"}},
        {source, dir / "target.swf/new.swf", true, {dir / "target.swf/new.swf", "Not a directory"}},
        {source, "", true, {"", "No such file or directory"}},
    };
    for (const Case& c : cases) {
        Outcome<> copied =
            c.replace ? files.replaceItemByCopying(c.from, c.to) : files.copyPath(c.from, c.to);
        ASSERT_FALSE(copied.ok()) << c.from << " -> " << c.to;
        EXPECT_EQ(copied.failure(), c.expected) << copied.failure().message();
    }
    EXPECT_EQ(ReadWholeFile(target), "old");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"folder", "source.swf", "target.swf"}));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

// The faults below are real ones, made in a forked child: as root (CI), file modes stop no write.
class FileManagerFaultTest : public ::testing::Test {
protected:
    void RunChecks(const std::function<int()>& body) {
        const int status = RunInChild(body);
        if (status == kChildCannotSetUp) {
            GTEST_SKIP() << "this machine allows no private mounts (user or mount namespaces)";
        }
        EXPECT_EQ(status, 0) << "see the child's output above";
    }

    TempDir dir;
    FileManager& files = FileManager::defaultManager();
};

TEST_F(FileManagerFaultTest, ACopyThatStopsHalfWayLeavesTheOldFileAndNoPart) {
    const std::string source = WriteText(dir / "source.swf", Pattern(3 << 20));
    const std::string target = WriteText(dir / "target.swf", "old");
    RunChecks([&] {
        CHILD_CHECK(LimitFileSize(1 << 20));
        Outcome<> copied = files.replaceItemByCopying(source, target);
        CHILD_CHECK(!copied.ok());
        CHILD_CHECK(copied.failure() == (Failure{target, "File too large"}));
        return 0;
    });
    EXPECT_EQ(ReadWholeFile(target), "old");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"source.swf", "target.swf"}));
}

TEST_F(FileManagerFaultTest, AFullDiskFailsTheCopyAndKeepsTheOldFile) {
    const std::string source = WriteText(dir / "source.swf", Pattern(3 << 20));
    const std::string small = WriteText(dir / "small.swf", Pattern(50000));
    fs::create_directory(dir / "disk");
    const std::string disk = dir / "disk";
    RunChecks([&] {
        if (!MountTinyFileSystem(disk, 1 << 20)) {
            return kChildCannotSetUp;
        }
        const std::string target = WriteText(disk + "/target.swf", "old");
        Outcome<> copied = files.replaceItemByCopying(source, target);
        CHILD_CHECK(!copied.ok());
        CHILD_CHECK(copied.failure() == (Failure{target, "No space left on device"}));
        CHILD_CHECK(ReadWholeFile(target) == "old");
        CHILD_CHECK(Names(disk) == std::vector<std::string>{"target.swf"});
        // What fits is copied, across file systems.
        CHILD_CHECK(files.copyPath(small, disk + "/small.swf").ok());
        CHILD_CHECK(ReadWholeFile(disk + "/small.swf") == ReadWholeFile(small));
        return 0;
    });
}

TEST_F(FileManagerFaultTest, AReadOnlyFolderIsNotWritableAndRefusesTheCopy) {
    const std::string source = WriteText(dir / "source.swf", "FWS");
    fs::create_directory(dir / "shelf");
    const std::string shelf = dir / "shelf";
    const std::string kept = WriteText(shelf + "/kept.swf", "old");
    EXPECT_TRUE(files.isWritableFileAtPath(shelf));
    EXPECT_TRUE(files.isWritableFileAtPath(kept));
    EXPECT_FALSE(files.isWritableFileAtPath(dir / "missing"));
    RunChecks([&] {
        if (!MountReadOnly(shelf)) {
            return kChildCannotSetUp;
        }
        CHILD_CHECK(!files.isWritableFileAtPath(shelf));
        CHILD_CHECK(!files.isWritableFileAtPath(kept));
        Outcome<> copied = files.replaceItemByCopying(source, kept);
        CHILD_CHECK(!copied.ok());
        CHILD_CHECK(copied.failure() == (Failure{kept, "Read-only file system"}));
        return 0;
    });
    EXPECT_EQ(ReadWholeFile(kept), "old");
    EXPECT_EQ(Names(shelf), std::vector<std::string>{"kept.swf"});
}

TEST(FileManagerTest, HomeComesFromTheEnvironmentFirst) {
    const char* saved = std::getenv("HOME");
    const std::optional<std::string> previous =
        saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    TempDir dir;
    setenv("HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(NSHomeDirectory(), dir.Path().string());
    unsetenv("HOME");
    const std::string fromPasswords = NSHomeDirectory();
    EXPECT_FALSE(fromPasswords.empty());
    // A relative HOME would put the capture folder, which start-up empties, under whatever folder
    // the process runs in: it counts as unset, and the log says so once.
    {
        LogCapture log;
        for (const char* relative : {"Documents/..", "home", "./here"}) {
            setenv("HOME", relative, 1);
            EXPECT_EQ(NSHomeDirectory(), fromPasswords) << relative;
        }
        const std::vector<std::string> lines = log.Lines();
        ASSERT_EQ(lines.size(), 1U);
        EXPECT_NE(lines[0].find("HOME is not an absolute path (Documents/..)"), std::string::npos)
            << lines[0];
    }
    if (previous) {
        setenv("HOME", previous->c_str(), 1);
    }
}

} // namespace
