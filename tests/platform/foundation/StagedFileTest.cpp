#include "foundation/StagedFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ReadWholeFile.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

size_t Entries(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(StagedFileTest, TheDestinationChangesOnlyOnCommit) {
    TempDir dir;
    const std::string target = dir / "target.swf";
    std::optional<StagedFile> moved;
    {
        Outcome<StagedFile> file = StagedFile::CreateBeside(target);
        ASSERT_TRUE(file.ok()) << file.failure().message();
        const std::string hidden = fs::path(file.value().TemporaryPath()).filename().string();
        EXPECT_EQ(hidden.front(), '.');
        EXPECT_EQ(fs::path(file.value().TemporaryPath()).parent_path(), dir.Path());
        ASSERT_TRUE(file.value().Write("new").ok());
        EXPECT_FALSE(fs::exists(target));
        moved.emplace(std::move(file).value()); // the moved-from one must not remove it
    }
    EXPECT_EQ(Entries(dir.Path()), 1U);
    moved.reset(); // never committed: the temporary file goes
    EXPECT_EQ(Entries(dir.Path()), 0U);
}

TEST(StagedFileTest, KeepingRefusesAnExistingDestination) {
    TempDir dir;
    const std::string target = dir / "target.swf";
    for (auto existing : {StagedFile::Existing::Keep, StagedFile::Existing::Replace}) {
        fs::remove(target);
        { std::ofstream(target) << "old"; }
        Outcome<StagedFile> file = StagedFile::CreateBeside(target);
        ASSERT_TRUE(file.ok());
        ASSERT_TRUE(file.value().Write("new").ok());
        Outcome<> committed = file.value().Commit(existing);
        if (existing == StagedFile::Existing::Keep) {
            ASSERT_FALSE(committed.ok());
            EXPECT_EQ(committed.failure(), (Failure{target, "File exists"}));
            EXPECT_EQ(ReadWholeFile(target), "old");
        } else {
            ASSERT_TRUE(committed.ok()) << committed.failure().message();
            EXPECT_EQ(ReadWholeFile(target), "new");
        }
    }
    EXPECT_EQ(Entries(dir.Path()), 1U); // the refused copy went when it was dropped
}

} // namespace
