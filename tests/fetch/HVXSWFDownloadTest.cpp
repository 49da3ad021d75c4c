#include "fetch/HVXSWFDownload.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "appkit/NSAlert.h"
#include "appkit/NSApplication.h"
#include "capture/CaptureRecords.h"
#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"

namespace {

std::string Movie(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7 + (i >> 9));
    }
    return bytes;
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::optional<std::string> LossReason(const std::string& url) {
    const auto& losses = DownloadActivity::Shared().Losses();
    const auto found = std::find_if(losses.rbegin(), losses.rend(),
                                    [&](const DownloadActivity::Loss& l) { return l.url == url; });
    return found == losses.rend() ? std::nullopt : std::optional(found->reason);
}

// For what changes off the main thread with no task posted, e.g. a cancelled fetch's file.
bool Poll(const std::function<bool()>& done) {
    const auto tick = RunLoop::Main().AddTimer(std::chrono::milliseconds(5), true, [] {});
    const bool result = RunLoop::Main().RunUntil(done, std::chrono::seconds(10));
    RunLoop::Main().CancelTimer(tick);
    return result;
}

class HVXSWFDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::Main();
        m_arraySWFUrl.clear();
        window = MakeRef<NSWindow>("main");
        NSApp().setMainWindow(window);
        server.Http().Get(R"(/movies/(.*))",
                          [this](const httplib::Request& request, httplib::Response& response) {
                              ++moviesServed;
                              response.set_content(Movie(1000, request.matches[1].str()[0]),
                                                   "application/x-shockwave-flash");
                          });
        server.Http().Get("/unannounced.swf", [](const httplib::Request&,
                                                 httplib::Response& response) {
            response.set_chunked_content_provider("application/x-shockwave-flash",
                                                  [](size_t offset, httplib::DataSink& sink) {
                                                      if (offset >= 3000) {
                                                          sink.done();
                                                      } else {
                                                          sink.write(Movie(1000, 'u').data(), 1000);
                                                      }
                                                      return true;
                                                  });
        });
        server.Http().Get("/reset.swf", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                100000, "application/x-shockwave-flash",
                [](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset > 0) {
                        return false; // the connection drops after the first part
                    }
                    sink.write(Movie(5000, 'r').data(), 5000);
                    return true;
                });
        });
        server.Http().Get(
            "/endless.swf", [this](const httplib::Request&, httplib::Response& response) {
                response.set_chunked_content_provider(
                    "application/x-shockwave-flash", [this](size_t, httplib::DataSink& sink) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        return !stopEndless && sink.write(Movie(4096, 'e').data(), 4096);
                    });
            });
        server.Start();
    }
    void TearDown() override {
        stopEndless = true;
        NSApp().setMainWindow(nullptr);
    }

    // Starts a fetch the way the capture does: nobody keeps the download object.
    std::string Fetch(const std::string& url, const std::string& name) {
        std::string target = folder / name;
        HVXSWFDownload::alloc()->downloadSWF(url, target);
        return target;
    }
    bool WaitForEntries(size_t count) {
        return RunLoop::Main().RunUntil([&] { return m_arraySWFUrl.size() >= count; },
                                        std::chrono::seconds(30));
    }

    std::atomic<int> moviesServed{0};
    std::atomic<bool> stopEndless{false};
    TempDir folder;
    LoopbackServer server;
    Ref<NSWindow> window;
};

TEST_F(HVXSWFDownloadTest, FinishedFetchIsRecordedOnceByNameAndByAddress) {
    std::string first = Fetch(server.Url("/movies/a.swf"), "a.swf");
    ASSERT_TRUE(WaitForEntries(1));
    EXPECT_EQ(ReadWholeFile(first), Movie(1000, 'a'));
    EXPECT_EQ(m_arraySWFUrl[0], (CapturedSWF{"a.swf", server.Url("/movies/a.swf")}));

    Fetch(server.Url("/movies/b.swf"), "a.swf");  // same name, other address
    Fetch(server.Url("/movies/a.swf"), "a2.swf"); // same address, other name
    Fetch(server.Url("/movies/c.swf"), "c.swf");
    ASSERT_TRUE(WaitForEntries(2));
    // The file is rewritten by the later fetch even though the list does not take it.
    EXPECT_TRUE(RunLoop::Main().RunUntil([&] { return ReadWholeFile(first) == Movie(1000, 'b'); },
                                         std::chrono::seconds(10)));
    RunLoop::Main().RunFor(std::chrono::milliseconds(200));
    ASSERT_EQ(m_arraySWFUrl.size(), 2U);
    EXPECT_EQ(m_arraySWFUrl[1].SWFName, "c.swf");
}

TEST_F(HVXSWFDownloadTest, CountsOnlyWhenTheLengthIsAnnounced) {
    Ref<HVXSWFDownload> download = HVXSWFDownload::alloc();
    download->downloadSWF(server.Url("/unannounced.swf"), folder / "u.swf");
    ASSERT_TRUE(WaitForEntries(1));
    EXPECT_EQ(download->expectedContentLength, -1);
    EXPECT_EQ(download->receivedContentLength, 0);
    EXPECT_EQ(ReadWholeFile(folder / "u.swf").size(), 3000U);

    Ref<HVXSWFDownload> counted = HVXSWFDownload::alloc();
    counted->downloadSWF(server.Url("/movies/k.swf"), folder / "k.swf");
    ASSERT_TRUE(WaitForEntries(2));
    EXPECT_EQ(counted->expectedContentLength, 1000);
    EXPECT_EQ(counted->receivedContentLength, 1000);
    // The field keeps the plug-in's 32 bits: a total past them wraps instead of overflowing.
    counted->downloadDidReceiveDataOfLength(*counted->download, (uint64_t{1} << 32) + 5);
    EXPECT_EQ(counted->receivedContentLength, 1005);
    counted->downloadDidReceiveDataOfLength(*counted->download, INT32_MAX);
    EXPECT_EQ(counted->receivedContentLength, INT32_MIN + 1004);
    counted->downloadSWFRelease();
    EXPECT_EQ(counted->download, nullptr);
    EXPECT_EQ(counted->receivedContentLength, 0);
    EXPECT_EQ(counted->expectedContentLength, 1000);
}

TEST_F(HVXSWFDownloadTest, FailedFetchesRecordNothingAndLeaveNoFile) {
    Fetch(server.Url("/reset.swf"), "reset.swf");
    Fetch(server.Url("/missing.swf"), "missing.swf");
    Fetch(server.Url("/movies/ok.swf"), "ok.swf");
    ASSERT_TRUE(WaitForEntries(1));
    RunLoop::Main().RunFor(std::chrono::milliseconds(500));
    EXPECT_EQ(m_arraySWFUrl.size(), 1U);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"ok.swf"});
}

TEST_F(HVXSWFDownloadTest, UnusableAddressShowsTheSheetAndNothingFollows) {
    const std::pair<const char*, const char*> kRefused[] = {
        {"not a url", "not a usable address"},
        {"file:///etc/passwd", "only http and https movies are fetched"},
        {"javascript:alert(1)", "not a usable address"}};
    for (const auto& [url, reason] : kRefused) {
        Ref<HVXSWFDownload> download = HVXSWFDownload::alloc();
        download->downloadSWF(url, folder / "x.swf");
        EXPECT_EQ(download->download, nullptr);
        EXPECT_EQ(download->urlString, url);
        EXPECT_EQ(download->m_pSavePath, folder / "x.swf");
        EXPECT_EQ(LossReason(url), std::string(reason)) << url;
    }
    ASSERT_EQ(window->sheets().size(), 3U);
    const auto* sheet = dynamic_cast<const NSAlert*>(window->attachedSheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->messageText(), "Invalid or unsupported URL");
    EXPECT_EQ(sheet->informativeText(), "The entered URL is either invalid or unsupported.");
    EXPECT_EQ(sheet->buttonTitles(), std::vector<std::string>{"OK"});
    EXPECT_EQ(sheet->window(), window.get());
    RunLoop::Main().RunFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(m_arraySWFUrl.empty());
    EXPECT_FALSE(std::filesystem::exists(folder / "x.swf"));
}

TEST_F(HVXSWFDownloadTest, NameTheFolderCannotHoldIsRefusedBeforeAnyTransfer) {
    std::string name(300, 'n');
    name.append(".swf");
    const std::string url = server.Url("/movies/" + name);
    Ref<HVXSWFDownload> download = HVXSWFDownload::alloc();
    download->downloadSWF(url, folder / name);
    EXPECT_EQ(download->download, nullptr);
    EXPECT_EQ(LossReason(url), "the file name is 304 bytes long; the folder allows 255");
    RunLoop::Main().RunFor(std::chrono::milliseconds(300));
    EXPECT_EQ(moviesServed, 0);
    EXPECT_EQ(download->retainCount(), 1);
    EXPECT_TRUE(window->sheets().empty());
    EXPECT_TRUE(m_arraySWFUrl.empty());
    EXPECT_TRUE(Names(folder.Path()).empty());
}

TEST_F(HVXSWFDownloadTest, ReleaseDuringAFetchCancelsItAndLetsGoOnce) {
    const std::string url = server.Url("/endless.swf");
    Ref<HVXSWFDownload> download = HVXSWFDownload::alloc();
    download->downloadSWF(url, folder / "endless.swf");
    ASSERT_TRUE(Poll([&] { return !Names(folder.Path()).empty(); }));
    download->downloadSWFRelease();
    download->downloadSWFRelease();
    RunLoop::Main().RunFor(std::chrono::milliseconds(300));
    EXPECT_EQ(download->retainCount(), 1);
    EXPECT_EQ(download->download, nullptr);
    EXPECT_EQ(LossReason(url), "cancelled");
    EXPECT_TRUE(m_arraySWFUrl.empty());
    EXPECT_TRUE(Poll([&] { return Names(folder.Path()).empty(); }));
}

TEST_F(HVXSWFDownloadTest, AHundredFetchesAtOnceAllFinish) {
    for (int i = 0; i < 100; ++i) {
        std::string name = "m" + std::to_string(i) + ".swf";
        Fetch(server.Url("/movies/" + name), name);
    }
    ASSERT_TRUE(WaitForEntries(100));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ReadWholeFile(folder / ("m" + std::to_string(i) + ".swf")), Movie(1000, 'm'));
    }
}

} // namespace
