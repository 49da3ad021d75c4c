#include "mirror/MirrorPath.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* address;
    const char* path; // "" when refused
};

TEST(MirrorPathTest, LaysAddressesOutByHostAndPathAndRefusesWhatWouldLeaveTheMirror) {
    const std::string longName(256, 'a');
    const Case cases[] = {
        {"http://Example.COM/a/b.swf", "example.com/a/b.swf"},
        {"https://example.com:443/b.swf", "example.com/b.swf"},
        {"http://example.com:80/b.swf", "example.com/b.swf"},
        {"http://example.com:8080/b.swf", "example.com:8080/b.swf"},
        {"https://example.com:80/b.swf", "example.com:80/b.swf"},
        {"http://example.com/b.swf#frame", "example.com/b.swf"},
        // The query stays in the name, its "%" and "/" escaped so that it reads back.
        {"http://example.com/p.php?f=a/b.swf&x=%41", "example.com/p.php?f=a%2Fb.swf&x=%2541"},
        {"http://example.com/dir/", "example.com/dir/?"},
        {"http://example.com/", "example.com/?"},
        {"http://example.com/dir/?q=1", "example.com/dir/?q=1"},
        {"http://example.com/a/../../../etc/passwd", "example.com/etc/passwd"},
        {"http://example.com/%2e%2e/x.swf", "example.com/%2E%2E/x.swf"},
        {"http://example.com/a//b.swf", ""},
        {"file:///etc/passwd", ""},
        {"ftp://example.com/a.swf", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const std::optional<URL> url = URL::URLWithString(c.address);
        ASSERT_TRUE(url);
        const Outcome<std::string> path = MirrorPath(*url);
        if (*c.path == '\0') {
            ASSERT_FALSE(path);
            EXPECT_EQ(path.failure().what, url->absoluteString());
        } else {
            ASSERT_TRUE(path) << path.failure().message();
            EXPECT_EQ(path.value(), c.path);
        }
    }
    const Outcome<std::string> tooLong =
        MirrorPath(*URL::URLWithString("http://example.com/" + longName));
    ASSERT_FALSE(tooLong);
    EXPECT_NE(tooLong.failure().why.find("255"), std::string::npos);
}

} // namespace
