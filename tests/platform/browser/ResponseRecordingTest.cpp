#include "browser/chromium/ResponseRecording.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "foundation/Base64.h"

namespace {

using Json = response_recording::Json;

Json Paused(int status, Json headers) {
    return {{"requestId", "interception-1"},
            {"request",
             {{"url", "http://example.org:8080/a/b.html?x=1#top"},
              {"method", "GET"},
              {"headers", {{"User-Agent", "UA"}, {"Host", "forged"}}}}},
            {"responseStatusCode", status},
            {"responseStatusText", status == 200 ? "OK" : ""},
            {"responseHeaders", std::move(headers)}};
}

// What the browser gives back is written as a server that sent it so would have: the codings it
// undid kept aside, the length its own, a server's line breaks no way to add fields; a body it
// could not give is marked cut, unless the answer has none.
TEST(ResponseRecordingTest, TheHeadSaysWhatTheBodyIs) {
    const struct {
        const char* name;
        Json paused;
        std::optional<std::string> body;
        std::string head;
        std::string truncated;
    } cases[] = {
        {"decoded by the browser",
         Paused(200, Json::array({{{"name", "Content-Type"}, {"value", "text/html"}},
                                  {{"name", "Content-Encoding"}, {"value", "gzip"}},
                                  {{"name", "Transfer-Encoding"}, {"value", "chunked"}}})),
         "<p>hi</p>",
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Archive-Orig-Content-Encoding: gzip\r\n"
         "X-Archive-Orig-Transfer-Encoding: chunked\r\nContent-Length: 9\r\n\r\n",
         ""},
        {"a hostile field",
         Paused(200, Json::array({{{"name", "X-A"}, {"value", "1\r\nWARC-Type: forged"}}})), "",
         "HTTP/1.1 200 OK\r\nX-A: 1  WARC-Type: forged\r\nContent-Length: 0\r\n\r\n", ""},
        {"a redirect", Paused(302, Json::array({{{"name", "Location"}, {"value", "/c"}}})),
         std::nullopt, "HTTP/1.1 302\r\nLocation: /c\r\n\r\n", ""},
        {"a body the browser lost",
         Paused(200, Json::array({{{"name", "Content-Length"}, {"value", "5"}}})), std::nullopt,
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "unspecified"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const WireExchange exchange = response_recording::Exchange(test.paused, test.body);
        EXPECT_EQ(exchange.targetURI, "http://example.org:8080/a/b.html?x=1");
        EXPECT_EQ(exchange.request,
                  "GET /a/b.html?x=1 HTTP/1.1\r\nHost: example.org:8080\r\nUser-Agent: UA\r\n\r\n");
        EXPECT_EQ(exchange.responseHead, test.head);
        EXPECT_EQ(exchange.payload, test.body.value_or(""));
        EXPECT_EQ(exchange.truncated, test.truncated);
    }
}

TEST(Base64Test, BytesComeBackAndWhatIsNotBase64IsRefused) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    for (size_t length : {0, 1, 2, 3, 4, 255, 256}) {
        const std::string part = bytes.substr(0, length);
        EXPECT_EQ(base64::Decode(base64::Encode(part)), part) << length;
    }
    EXPECT_EQ(base64::Encode("Man"), "TWFu");
    EXPECT_EQ(base64::Decode("TQ=="), "M");
    EXPECT_FALSE(base64::Decode("TW*u"));
    EXPECT_FALSE(base64::Decode("TWFuT"));
}

} // namespace
