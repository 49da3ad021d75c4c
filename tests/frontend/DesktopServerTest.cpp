#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "DesktopHarness.h"
#include "appkit/NSTextField.h"
#include "foundation/Log.h"

namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct Ask {
    const char* name;
    const char* method;
    std::string path;
    enum Credentials { kNone, kWrong, kCookieOnly, kFull } credentials;
    std::string host; // empty: the server's own
    std::string body;
    int status;
};

TEST(DesktopServerTest, RefusesWhatTheRulesRefuseAndServesTheRest) {
    DesktopHarness desktop;
    const std::filesystem::path root = desktop.dir.Path();
    WriteText(root / "secret.txt", "outside");
    WriteText(root / "web" / "desktop.html", "<html></html>");
    WriteText(root / "web" / "player.wasm", "\0asm");
    WriteText(root / "capture" / "movie.swf", "FWS");
    std::filesystem::create_symlink(root / "secret.txt", root / "capture" / "link.txt");
    Ref<NSTextField> field = MakeRef<NSTextField>();
    const std::string fieldOid = std::to_string(field->objectId());

    const std::vector<Ask> table{
        {"no token", "GET", "/ui/player.wasm", Ask::kNone, "", "", 403},
        {"wrong token", "GET", "/ui/player.wasm", Ask::kWrong, "", "", 403},
        {"wrong token in the address", "GET", "/?token=0123", Ask::kNone, "", "", 403},
        {"foreign host", "GET", "/ui/player.wasm", Ask::kFull, "evil.example", "", 403},
        {"dot dot", "GET", "/files/capture/../secret.txt", Ask::kFull, "", "", 404},
        {"encoded dot dot", "GET", "/files/capture/%2e%2e/secret.txt", Ask::kFull, "", "", 404},
        {"absolute path", "GET", "/files/capture/" + (root / "secret.txt").string(), Ask::kFull, "",
         "", 404},
        {"symbolic link out", "GET", "/files/capture/link.txt", Ask::kFull, "", "", 404},
        {"a file inside", "GET", "/files/capture/movie.swf", Ask::kCookieOnly, "", "", 200},
        {"the page", "GET", "/", Ask::kCookieOnly, "", "", 200},
        {"post without the header", "POST", "/event", Ask::kCookieOnly, "", "{}", 403},
        {"body too large", "POST", "/event", Ask::kFull, "", std::string(1024 * 1024 + 1, ' '),
         413},
        {"malformed JSON", "POST", "/event", Ask::kFull, "", "{\"oid\":", 400},
        {"wrong type", "POST", "/event", Ask::kFull, "", R"({"oid":"1","kind":"click"})", 400},
        {"negative row", "POST", "/event", Ask::kFull, "",
         R"({"oid":)" + fieldOid + R"(,"kind":"select","row":-1})", 400},
        {"unknown kind", "POST", "/event", Ask::kFull, "",
         R"({"oid":)" + fieldOid + R"(,"kind":"explode"})", 400},
        {"unknown oid", "POST", "/event", Ask::kFull, "", R"({"oid":999999999,"kind":"click"})",
         404},
        {"a line end in the path", "GET", "/ui/x%0aforged", Ask::kFull, "", "", 404},
    };
    LogCapture log;
    for (const Ask& ask : table) {
        httplib::Headers headers;
        if (ask.credentials == Ask::kWrong) {
            headers = {{"Cookie", "swfharvex_token=" + std::string(64, '0')}};
        } else if (ask.credentials == Ask::kCookieOnly) {
            headers = {{"Cookie", "swfharvex_token=" + desktop.token}};
        } else if (ask.credentials == Ask::kFull) {
            headers = desktop.Auth();
        }
        if (!ask.host.empty()) {
            headers.emplace("Host", ask.host);
        }
        httplib::Result result = desktop.OffMain([&] {
            httplib::Client client = desktop.Client();
            return std::string(ask.method) == "GET"
                       ? client.Get(ask.path.c_str(), headers)
                       : client.Post(ask.path.c_str(), headers, ask.body, "application/json");
        });
        ASSERT_TRUE(result) << ask.name;
        EXPECT_EQ(result->status, ask.status) << ask.name;
        EXPECT_TRUE(Header(result, "Access-Control-Allow-Origin").empty()) << ask.name;
    }
    // Each refusal once in the log, however often it is tried.
    const std::vector<std::string> logged = log.Lines();
    EXPECT_GE(logged.size(), 10U);
    EXPECT_EQ(std::set<std::string>(logged.begin(), logged.end()).size(), logged.size());
    for (const std::string& line : logged) {
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
    httplib::Client client = desktop.Client();
    ASSERT_EQ(client.Get("/ui/player.wasm")->status, 403);
    EXPECT_EQ(log.Lines().size(), logged.size());
}

TEST(DesktopServerTest, TheTokenInTheAddressBecomesAStrictCookie) {
    DesktopHarness desktop;
    httplib::Client client = desktop.Client();
    httplib::Result result = client.Get(("/?token=" + desktop.token).c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 303);
    EXPECT_EQ(Header(result, "Location"), "/");
    EXPECT_EQ(Header(result, "Set-Cookie"),
              "swfharvex_token=" + desktop.token + "; HttpOnly; SameSite=Strict; Path=/");

    // The page itself carries the token, for the header its posts need.
    WriteText(desktop.dir.Path() / "web" / "desktop.html",
              R"(<meta name="swfharvex-token" content="{{SWFHARVEX_TOKEN}}">)");
    result = client.Get("/", {{"Cookie", "swfharvex_token=" + desktop.token}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, R"(<meta name="swfharvex-token" content=")" + desktop.token + R"(">)");
}

TEST(DesktopServerTest, FilesGoOutWithTheirContentTypesAndPagesWithAPolicy) {
    DesktopHarness desktop;
    const std::filesystem::path web = desktop.dir.Path() / "web";
    const std::string wasm("\0asm\1\0\0\0", 8);
    WriteText(web / "desktop.html", "<html></html>");
    WriteText(web / "core.wasm", wasm);
    WriteText(web / "app.js", "export {}");
    WriteText(desktop.dir.Path() / "resources" / "Page.html", "<p>");
    const struct {
        const char* path;
        const char* type;
        bool policy;
    } table[] = {
        {"/", "text/html; charset=utf-8", true},
        {"/ui/core.wasm", "application/wasm", false},
        {"/ui/app.js", "text/javascript; charset=utf-8", false},
        {"/files/resources/Page.html", "text/html; charset=utf-8", true},
    };
    httplib::Client client = desktop.Client();
    for (const auto& row : table) {
        httplib::Result result = client.Get(row.path, desktop.Auth());
        ASSERT_TRUE(result) << row.path;
        EXPECT_EQ(result->status, 200) << row.path;
        EXPECT_EQ(Header(result, "Content-Type"), row.type) << row.path;
        EXPECT_EQ(Header(result, "Content-Security-Policy").empty(), !row.policy) << row.path;
    }
    EXPECT_EQ(client.Get("/ui/core.wasm", desktop.Auth())->body, wasm);
}

TEST(DesktopServerTest, ThePagesFindThePlayerBesideThemAndMoviesByTheNamesTheyAreGiven) {
    DesktopHarness desktop;
    WriteText(desktop.dir.Path() / "player" / "core.wasm", "player");
    WriteText(desktop.dir.Path() / "capture" / "my%20movie.swf", "kept as caught");
    WriteText(desktop.dir.Path() / "capture" / "a(1).swf", "unescaped");
    WriteText(desktop.dir.Path() / "capture" / "a%281%29.swf", "as caught wins");
    WriteText(desktop.dir.Path() / "capture" / "b(2).swf", "only unescaped");
    const struct {
        const char* path; // as the browser asks: "%25" is the page's own "%"
        int status;
        const char* body;
    } table[] = {
        {"/files/resources/ruffle/core.wasm", 200, "player"},
        {"/files/capture/my%2520movie.swf", 200, "kept as caught"},
        {"/files/capture/a%25281%2529.swf", 200, "as caught wins"},
        {"/files/capture/b%25282%2529.swf", 200, "only unescaped"},
        {"/files/capture/%252e%252e/player/core.wasm", 404, ""},
    };
    httplib::Client client = desktop.Client();
    for (const auto& row : table) {
        httplib::Result result = client.Get(row.path, desktop.Auth());
        ASSERT_TRUE(result) << row.path;
        EXPECT_EQ(result->status, row.status) << row.path;
        if (row.status == 200) {
            EXPECT_EQ(result->body, row.body) << row.path;
        }
    }
    // The player is one pinned release: the browser may keep it.
    EXPECT_EQ(Header(client.Get("/files/player/core.wasm", desktop.Auth()), "Cache-Control"),
              "private, max-age=86400");
}

TEST(DesktopServerTest, MoreThanTheRateOfEventsIsRefusedBeforeTheModelSeesThem) {
    DesktopHarness desktop(5);
    httplib::Client client = desktop.Client();
    std::vector<int> statuses;
    for (int i = 0; i < 7; ++i) {
        statuses.push_back(client.Post("/event", desktop.Auth(), "[]", "application/json")->status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{400, 400, 400, 400, 400, 429, 429}));
}

TEST(DesktopServerTest, ATakenPortIsNeverSharedButTheNextFreeOneIsTaken) {
    DesktopHarness first;
    auto presenter = first.presenter;
    DesktopServer::Options options;
    options.token = first.token;
    options.port = first.server->port();
    DesktopServer explicitPort(options, presenter);
    EXPECT_FALSE(explicitPort.Start().ok());

    options.portAttempts = 21;
    DesktopServer searching(options, presenter);
    ASSERT_TRUE(searching.Start().ok());
    EXPECT_GT(searching.port(), first.server->port());
    EXPECT_LE(searching.port(), first.server->port() + 20);
}

std::string Entry(const std::string& type, const std::string& data) {
    const uint32_t length = static_cast<uint32_t>(data.size() + 8);
    std::string entry = type;
    for (int shift = 24; shift >= 0; shift -= 8) {
        entry.push_back(static_cast<char>((length >> static_cast<unsigned>(shift)) & 0xFFU));
    }
    return entry + data;
}

std::string Icns(const std::string& entries) {
    return Entry("icns", entries);
}

TEST(DesktopServerTest, TheIconRouteAnswersTheLargestPngInsideAServedFolder) {
    DesktopHarness desktop;
    const std::string png = "\x89PNG\r\n\x1a\n";
    const std::string small = png + "small";
    const std::string large = png + "the larger one";
    const std::filesystem::path resources = desktop.dir.Path() / "resources";
    WriteText(resources / "App.icns",
              Icns(Entry("ic07", small) + Entry("is32", std::string(40, 'x')) +
                   Entry("ic08", large) + Entry("ic04", small)));
    WriteText(resources / "Plain.icns", Icns(Entry("is32", std::string(40, 'x'))));
    // An entry that claims more than the file holds.
    WriteText(resources / "Cut.icns", Icns(Entry("ic08", large)).substr(0, 20));
    WriteText(desktop.dir.Path() / "Outside.icns", Icns(Entry("ic08", large)));

    const struct {
        std::filesystem::path file;
        int status;
    } table[] = {
        {resources / "App.icns", 200},
        {resources / "Plain.icns", 404},
        {resources / "Cut.icns", 404},
        {desktop.dir.Path() / "Outside.icns", 404},
        {resources / ".." / "Outside.icns", 404},
    };
    httplib::Client client = desktop.Client();
    for (const auto& row : table) {
        httplib::Params params{{"path", row.file.string()}};
        httplib::Result result = client.Get("/icon", params, desktop.Auth());
        ASSERT_TRUE(result) << row.file;
        EXPECT_EQ(result->status, row.status) << row.file;
        if (row.status == 200) {
            EXPECT_EQ(result->body, large);
            EXPECT_EQ(Header(result, "Content-Type"), "image/png");
        }
    }
}

} // namespace
