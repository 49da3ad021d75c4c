#include "foundation/defaults/FileBytes.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

// Callers act on the code: a missing file means "nothing there", a file past the limit is set
// aside, anything else is logged with its reason.
TEST(FileBytesTest, ReadsWholeFilesAndTellsFailuresApartByCode) {
    TempDir dir;
    std::ofstream(dir / "four", std::ios::binary) << "abcd";
    std::ofstream(dir / "empty", std::ios::binary);
    std::filesystem::create_directories(dir / "folder");
    struct Case {
        std::string name;
        size_t mostBytes;
        std::optional<std::string> bytes; // else the failure's code
        std::errc code;
    };
    const Case cases[] = {
        {"four", 4, "abcd", {}},
        {"empty", 0, "", {}},
        {"four", 3, std::nullopt, std::errc::file_too_large},
        {"missing", 4, std::nullopt, std::errc::no_such_file_or_directory},
        {"folder", 4, std::nullopt, std::errc::is_a_directory},
    };
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        Outcome<std::string> read = ReadFileBytes(path, c.mostBytes);
        if (c.bytes) {
            ASSERT_TRUE(read) << c.name << ": " << read.failure().message();
            EXPECT_EQ(read.value(), *c.bytes) << c.name;
            continue;
        }
        ASSERT_FALSE(read) << c.name;
        EXPECT_TRUE(read.failure().is(c.code)) << c.name << ": " << read.failure().message();
        EXPECT_EQ(read.failure().what, path);
        EXPECT_EQ(read.failure().why, std::make_error_code(c.code).message());
    }
}

} // namespace
