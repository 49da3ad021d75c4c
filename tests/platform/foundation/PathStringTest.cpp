#include "foundation/PathString.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string path;
    std::string last;
    std::string extension;
    std::string withoutLast;
    std::string withoutExtension;
};

TEST(PathStringTest, ComponentsAndExtensionsFollowThePlatformRules) {
    const Case cases[] = {
        {"/tmp/scratch.tiff", "scratch.tiff", "tiff", "/tmp", "/tmp/scratch"},
        {"/tmp/scratch", "scratch", "", "/tmp", "/tmp/scratch"},
        {"/tmp/", "tmp", "", "/", "/tmp"},
        {"/tmp", "tmp", "", "/", "/tmp"},
        {"/tmp/lock/", "lock", "", "/tmp", "/tmp/lock"},
        {"scratch///", "scratch", "", "", "scratch"},
        {"/", "/", "", "/", "/"},
        {"", "", "", "", ""},
        {"scratch.tiff", "scratch.tiff", "tiff", "", "scratch"},
        {".scratch.tiff", ".scratch.tiff", "tiff", "", ".scratch"},
        {".tiff", ".tiff", "", "", ".tiff"},
        {"/scratch..tiff", "scratch..tiff", "tiff", "/", "/scratch."},
        {"scratch.bundle/", "scratch.bundle", "bundle", "", "scratch"},
        {"/tmp/x/", "x", "", "/tmp", "/tmp/x"},
        {"/a.b/c", "c", "", "/a.b", "/a.b/c"},
        {"//a//b.swf", "b.swf", "swf", "/a", "/a/b"},
        {"http://h/player.php?file=movie.swf", "player.php?file=movie.swf", "swf", "http:/h",
         "http:/h/player.php?file=movie"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("path \"" + c.path + "\"");
        EXPECT_EQ(lastPathComponent(c.path), c.last);
        EXPECT_EQ(pathExtension(c.path), c.extension);
        EXPECT_EQ(stringByDeletingLastPathComponent(c.path), c.withoutLast);
        EXPECT_EQ(stringByDeletingPathExtension(c.path), c.withoutExtension);
    }
}

TEST(PathStringTest, AppendingPutsOneSlashBetween) {
    const std::string cases[][3] = {
        {"/tmp", "scratch.tiff", "/tmp/scratch.tiff"},
        {"/tmp/", "scratch.tiff", "/tmp/scratch.tiff"},
        {"/", "scratch.tiff", "/scratch.tiff"},
        {"", "scratch.tiff", "scratch.tiff"},
        {"/tmp//", "//x//y/", "/tmp/x/y"},
        {"/tmp", "", "/tmp"},
        {"a", "b", "a/b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stringByAppendingPathComponent(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
    }
}

} // namespace
