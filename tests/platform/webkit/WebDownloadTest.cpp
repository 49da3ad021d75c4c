#include "webkit/WebDownload.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <zlib.h>

#include "DripServer.h"
#include "LoopbackServer.h"
#include "RecordingDelegate.h"
#include "TempDir.h"
#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"
#include "webkit/TransferLimits.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kFlash = "application/x-shockwave-flash";

std::string Bytes(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    uint32_t state = seed * 2654435761U + 1;
    for (char& c : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state);
    }
    return out;
}

std::string Gzip(const std::string& data) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Pump(const std::function<bool()>& done, std::chrono::seconds timeout = 30s) {
    return RunLoop::Main().RunUntil(done, timeout);
}

// For conditions that change off the main thread without a callback, e.g. files going away.
bool Poll(const std::function<bool()>& done, std::chrono::seconds timeout = 10s) {
    const auto tick = RunLoop::Main().AddTimer(5ms, true, [] {});
    const bool result = Pump(done, timeout);
    RunLoop::Main().CancelTimer(tick);
    return result;
}

// Serves `body` in pieces, as a stream that ends with the body.
void ServeSized(httplib::Response& res, const std::shared_ptr<const std::string>& body) {
    res.set_content_provider(
        body->size(), kFlash, [body](size_t offset, size_t length, httplib::DataSink& sink) {
            return sink.write(body->data() + offset, std::min<size_t>(length, size_t{64} << 10));
        });
}

// A gzip-encoded body of zeros that never ends: each piece sent decodes to a thousand times its
// size, made as it is sent so that nothing large is ever held.
void ServeBomb(httplib::Response& res) {
    auto stream = std::make_shared<z_stream>();
    deflateInit2(stream.get(), Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    res.set_header("Content-Encoding", "gzip");
    res.set_chunked_content_provider(
        kFlash,
        [stream](size_t, httplib::DataSink& sink) {
            static const std::string zeros(size_t{1} << 20, '\0');
            std::string out(size_t{64} << 10, '\0');
            stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
            stream->avail_in = static_cast<uInt>(zeros.size());
            stream->next_out = reinterpret_cast<Bytef*>(out.data());
            stream->avail_out = static_cast<uInt>(out.size());
            deflate(stream.get(), Z_SYNC_FLUSH);
            return sink.write(out.data(), out.size() - stream->avail_out);
        },
        [stream](bool) { deflateEnd(stream.get()); });
}

// The process's transfer limits for one test, restored after it.
class ScopedLimits {
public:
    explicit ScopedLimits(const TransferLimits& limits) : m_saved(TransferLimits::Current()) {
        TransferLimits::Set(limits);
    }
    ~ScopedLimits() { TransferLimits::Set(m_saved); }
    ScopedLimits(const ScopedLimits&) = delete;
    ScopedLimits& operator=(const ScopedLimits&) = delete;
    ScopedLimits(ScopedLimits&&) = delete;
    ScopedLimits& operator=(ScopedLimits&&) = delete;

private:
    TransferLimits m_saved;
};

std::optional<std::string> LossReason(const std::string& url) {
    const auto& losses = DownloadActivity::Shared().Losses();
    const auto found = std::find_if(losses.rbegin(), losses.rend(),
                                    [&](const DownloadActivity::Loss& l) { return l.url == url; });
    return found == losses.rend() ? std::nullopt : std::optional(found->reason);
}

const std::vector<std::string> kFullOrder = {"begin",  "response", "decide",
                                             "create", "data",     "finish"};

class WebDownloadTest : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::Main(); }
    // Closing the engine's idle connections lets the server stop at once.
    void TearDown() override { WebDownload::Shutdown(); }

    // An endless body, a piece every few milliseconds, until the client goes or the test ends.
    void ServeEndless(const std::string& path) {
        server.Http().Get(path, [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(kFlash, [this](size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(5ms);
                return !stopEndless &&
                       sink.write(Bytes(size_t{16} << 10, 9).data(), size_t{16} << 10);
            });
        });
    }

    std::atomic<bool> stopEndless{false};
    TempDir dir;
    LoopbackServer server; // declared last: stops first
};

TEST_F(WebDownloadTest, LargeFileArrivesByteExactWithCallbacksInOrder) {
    const auto body = std::make_shared<const std::string>(Bytes(40 << 20, 1));
    server.Http().Get("/movies/big.swf", [body](const httplib::Request&, httplib::Response& res) {
        ServeSized(res, body);
    });
    server.Start();

    RecordingDelegate delegate(dir / "big.swf");
    ASSERT_TRUE(delegate.Start(server.Url("/movies/big.swf")));
    ASSERT_TRUE(Pump([&] { return delegate.Ended(); }, 120s));

    EXPECT_EQ(delegate.Calls(), kFullOrder);
    ASSERT_TRUE(delegate.Response().has_value());
    EXPECT_EQ(delegate.Response()->expectedContentLength, static_cast<int64_t>(body->size()));
    EXPECT_EQ(delegate.Response()->MIMEType, kFlash);
    EXPECT_EQ(delegate.Response()->statusCode, 200);
    EXPECT_EQ(delegate.SuggestedFilename(), "big.swf");
    EXPECT_EQ(delegate.CreatedPath(), dir / "big.swf");
    EXPECT_EQ(delegate.BytesReceived(), body->size());
    const std::string written = ReadFile(dir / "big.swf");
    EXPECT_EQ(written.size(), body->size());
    EXPECT_TRUE(written == *body);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"big.swf"});
}

TEST_F(WebDownloadTest, EncodedAndUnsizedBodiesAreWrittenDecodedWithoutLength) {
    const std::string plain = std::string(1 << 20, 'F') + Bytes(1 << 20, 2) + "WS";
    const std::string gzipped = Gzip(plain);
    server.Http().Get("/gz.swf", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(gzipped, kFlash);
    });
    server.Http().Get("/chunked.swf", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(kFlash, [&](size_t offset, httplib::DataSink& sink) {
            if (offset >= plain.size()) {
                sink.done();
                return true;
            }
            return sink.write(plain.data() + offset, std::min<size_t>(plain.size() - offset, 7000));
        });
    });
    server.Start();

    RecordingDelegate gz(dir / "gz.swf");
    RecordingDelegate chunked(dir / "chunked.swf");
    ASSERT_TRUE(gz.Start(server.Url("/gz.swf")));
    ASSERT_TRUE(chunked.Start(server.Url("/chunked.swf")));
    ASSERT_TRUE(Pump([&] { return gz.Ended() && chunked.Ended(); }));

    for (const RecordingDelegate* delegate : {&gz, &chunked}) {
        EXPECT_EQ(delegate->Calls(), kFullOrder);
        ASSERT_TRUE(delegate->Response().has_value());
        // The length of an encoded body counts bytes the delegate never sees.
        EXPECT_EQ(delegate->Response()->expectedContentLength, -1);
        EXPECT_EQ(delegate->BytesReceived(), plain.size());
        EXPECT_TRUE(ReadFile(delegate->CreatedPath()) == plain);
    }
}

TEST_F(WebDownloadTest, RedirectsAreFollowedOnlyToTheWeb) {
    const auto body = std::make_shared<const std::string>(Bytes(5000, 3));
    server.Http().Get("/new.swf", [body](const httplib::Request&, httplib::Response& res) {
        ServeSized(res, body);
    });
    server.Http().Get("/old.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/new.swf", 301);
    });
    server.Http().Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file:///etc/passwd");
    });
    server.Http().Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("ftp://127.0.0.1/a.swf");
    });
    server.Start();

    RecordingDelegate moved(dir / "moved.swf");
    RecordingDelegate toFile(dir / "file.swf");
    RecordingDelegate toFtp(dir / "ftp.swf");
    ASSERT_TRUE(moved.Start(server.Url("/old.swf")));
    ASSERT_TRUE(toFile.Start(server.Url("/to-file")));
    ASSERT_TRUE(toFtp.Start(server.Url("/to-ftp")));
    ASSERT_TRUE(Pump([&] { return moved.Ended() && toFile.Ended() && toFtp.Ended(); }));

    EXPECT_EQ(moved.Calls(), kFullOrder);
    EXPECT_EQ(moved.Response()->url.path(), "/new.swf");
    EXPECT_EQ(moved.SuggestedFilename(), "new.swf");
    EXPECT_TRUE(ReadFile(dir / "moved.swf") == *body);
    for (const RecordingDelegate* refused : {&toFile, &toFtp}) {
        EXPECT_EQ(refused->Calls(), (std::vector<std::string>{"begin", "fail"}));
        EXPECT_EQ(refused->Error()->code, NSURLErrorUnsupportedURL);
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"moved.swf"});
}

TEST_F(WebDownloadTest, FailuresLeaveNothingOnDisk) {
    server.Http().Get("/missing.swf", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/plain");
    });
    // Announces a megabyte, then drops the connection a quarter of the way in.
    const auto body = std::make_shared<const std::string>(Bytes(1 << 20, 4));
    server.Http().Get("/cut.swf", [body](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(body->size(), kFlash,
                                 [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                     if (offset >= body->size() / 4) {
                                         return false;
                                     }
                                     return sink.write(body->data() + offset,
                                                       std::min<size_t>(length, size_t{16} << 10));
                                 });
    });
    server.Http().Get("/fine.swf", [body](const httplib::Request&, httplib::Response& res) {
        ServeSized(res, body);
    });
    server.Start();

    RecordingDelegate missing(dir / "missing.swf");
    RecordingDelegate cut(dir / "cut.swf");
    RecordingDelegate noFolder((dir.Path() / "absent" / "fine.swf").string());
    RecordingDelegate noDestination;
    ASSERT_TRUE(missing.Start(server.Url("/missing.swf")));
    ASSERT_TRUE(cut.Start(server.Url("/cut.swf")));
    ASSERT_TRUE(noFolder.Start(server.Url("/fine.swf")));
    ASSERT_TRUE(noDestination.Start(server.Url("/fine.swf")));
    ASSERT_TRUE(Pump([&] {
        return missing.Ended() && cut.Ended() && noFolder.Ended() && noDestination.Ended();
    }));

    EXPECT_EQ(missing.Calls(), (std::vector<std::string>{"begin", "fail"}));
    EXPECT_EQ(missing.Error()->code, NSURLErrorBadServerResponse);
    EXPECT_EQ(cut.Calls(),
              (std::vector<std::string>{"begin", "response", "decide", "create", "data", "fail"}));
    EXPECT_EQ(cut.Error()->code, NSURLErrorNetworkConnectionLost);
    EXPECT_LT(cut.BytesReceived(), body->size());
    EXPECT_EQ(noFolder.Calls(), (std::vector<std::string>{"begin", "response", "decide", "fail"}));
    EXPECT_EQ(noFolder.Error()->code, NSURLErrorCannotCreateFile);
    EXPECT_EQ(noDestination.Calls(),
              (std::vector<std::string>{"begin", "response", "decide", "fail"}));
    EXPECT_TRUE(Names(dir.Path()).empty()) << Names(dir.Path()).front();
}

TEST_F(WebDownloadTest, OverwritesOnlyWhenAllowed) {
    const auto body = std::make_shared<const std::string>(Bytes(3000, 5));
    server.Http().Get("/a.swf", [body](const httplib::Request&, httplib::Response& res) {
        ServeSized(res, body);
    });
    server.Start();
    dir.Write("kept.swf", {'o', 'l', 'd'});
    dir.Write("replaced.swf", {'o', 'l', 'd'});

    RecordingDelegate refused(dir / "kept.swf", false);
    RecordingDelegate allowed(dir / "replaced.swf", true);
    ASSERT_TRUE(refused.Start(server.Url("/a.swf")));
    ASSERT_TRUE(allowed.Start(server.Url("/a.swf")));
    ASSERT_TRUE(Pump([&] { return refused.Ended() && allowed.Ended(); }));

    ASSERT_TRUE(refused.Error().has_value());
    EXPECT_EQ(ReadFile(dir / "kept.swf"), "old");
    EXPECT_TRUE(allowed.Finished());
    EXPECT_TRUE(ReadFile(dir / "replaced.swf") == *body);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"kept.swf", "replaced.swf"}));
}

TEST_F(WebDownloadTest, EmptyBodyMakesAnEmptyFile) {
    server.Http().Get("/empty.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("", kFlash);
    });
    server.Start();

    RecordingDelegate delegate(dir / "empty.swf");
    ASSERT_TRUE(delegate.Start(server.Url("/empty.swf")));
    ASSERT_TRUE(Pump([&] { return delegate.Ended(); }));

    EXPECT_EQ(delegate.Calls(),
              (std::vector<std::string>{"begin", "response", "decide", "create", "finish"}));
    EXPECT_EQ(delegate.Response()->expectedContentLength, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.swf"));
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.swf"), 0U);
}

TEST_F(WebDownloadTest, OnlyWebSchemesAreFetched) {
    RecordingDelegate delegate(dir / "x.swf");
    EXPECT_FALSE(delegate.Start("file:///etc/passwd"));
    EXPECT_FALSE(delegate.Start("ftp://127.0.0.1/a.swf"));
    EXPECT_FALSE(URL::URLWithString("data:application/x-shockwave-flash;base64,RldT"));
    RunLoop::Main().RunFor(50ms);
    EXPECT_EQ(delegate.CallCount(), 0U);
}

TEST_F(WebDownloadTest, CancelledOrDestroyedDownloadsFallSilentAndCleanUp) {
    ServeEndless("/endless.swf");
    server.Start();

    // Destroyed inside its first data callback, with more reports already on their way.
    RecordingDelegate destroyed(dir / "destroyed.swf");
    destroyed.onFirstData = [](RecordingDelegate& self) { self.Download().reset(); };
    // Cancelled from outside, between two turns of the run loop, and kept.
    RecordingDelegate cancelled(dir / "cancelled.swf");
    ASSERT_TRUE(destroyed.Start(server.Url("/endless.swf")));
    ASSERT_TRUE(cancelled.Start(server.Url("/endless.swf")));
    ASSERT_TRUE(Pump([&] { return !destroyed.Download() && cancelled.BytesReceived() > 0; }));
    cancelled.Download()->cancel();
    const size_t destroyedCalls = destroyed.CallCount();
    const size_t cancelledCalls = cancelled.CallCount();

    // The partial files go away; no call arrives meanwhile.
    EXPECT_TRUE(Poll([&] { return Names(dir.Path()).empty(); }));
    RunLoop::Main().RunFor(200ms);
    EXPECT_EQ(destroyed.CallCount(), destroyedCalls);
    EXPECT_EQ(cancelled.CallCount(), cancelledCalls);
    EXPECT_TRUE(Names(dir.Path()).empty());
    stopEndless = true;
}

TEST_F(WebDownloadTest, ShutdownFailsRunningDownloadsAndTheServiceStartsAgain) {
    ServeEndless("/endless.swf");
    server.Http().Get("/small.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("FWS small", kFlash);
    });
    server.Start();

    RecordingDelegate running(dir / "running.swf");
    ASSERT_TRUE(running.Start(server.Url("/endless.swf")));
    ASSERT_TRUE(Pump([&] { return running.BytesReceived() > 0; }));
    WebDownload::Shutdown();
    ASSERT_TRUE(Pump([&] { return running.Ended(); }));
    EXPECT_EQ(running.Error()->code, NSURLErrorCancelled);
    EXPECT_TRUE(Names(dir.Path()).empty());
    stopEndless = true;

    RecordingDelegate later(dir / "small.swf");
    ASSERT_TRUE(later.Start(server.Url("/small.swf")));
    ASSERT_TRUE(Pump([&] { return later.Ended(); }));
    EXPECT_TRUE(later.Finished());
    EXPECT_EQ(ReadFile(dir / "small.swf"), "FWS small");
}

TEST_F(WebDownloadTest, HundredDownloadsAtOnceAllFinish) {
    constexpr int kCount = 100;
    server.Http().Get(
        R"(/movie/(\d+)\.swf)", [](const httplib::Request& req, httplib::Response& res) {
            const int n = std::stoi(req.matches[1]);
            res.set_content(Bytes(20000 + static_cast<size_t>(n) * 100, static_cast<uint32_t>(n)),
                            kFlash);
        });
    server.Start();

    std::vector<std::unique_ptr<RecordingDelegate>> delegates;
    for (int n = 0; n < kCount; ++n) {
        const std::string name = std::to_string(n).append(".swf");
        delegates.push_back(std::make_unique<RecordingDelegate>(dir / name));
        ASSERT_TRUE(delegates.back()->Start(server.Url(std::string("/movie/").append(name))));
    }
    ASSERT_TRUE(Pump(
        [&] {
            return std::all_of(delegates.begin(), delegates.end(),
                               [](const auto& d) { return d->Ended(); });
        },
        120s));

    for (int n = 0; n < kCount; ++n) {
        const auto& delegate = *delegates[static_cast<size_t>(n)];
        ASSERT_TRUE(delegate.Finished()) << n << ": " << delegate.Error()->localizedDescription;
        EXPECT_TRUE(ReadFile(delegate.CreatedPath()) ==
                    Bytes(20000 + static_cast<size_t>(n) * 100, static_cast<uint32_t>(n)))
            << n;
    }
    EXPECT_EQ(Names(dir.Path()).size(), static_cast<size_t>(kCount));
}

// Views of one address started before its server answers share one request, yet each hears
// its own callbacks, and the one that chose the file may go without taking it from the rest.
TEST_F(WebDownloadTest, DownloadsOfOneAddressShareOneTransferWhileItRuns) {
    constexpr size_t kViews = 200;
    const auto body = std::make_shared<const std::string>(Bytes(size_t{3} << 20, 6));
    std::atomic<int> requests{0};
    server.Http().Get("/one.swf", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        ServeSized(res, body);
    });
    server.Start();

    std::vector<std::unique_ptr<RecordingDelegate>> views;
    for (size_t n = 0; n < kViews; ++n) {
        views.push_back(std::make_unique<RecordingDelegate>(dir / "one.swf"));
        ASSERT_TRUE(views.back()->Start(server.Url("/one.swf")));
    }
    views.front()->onFirstData = [](RecordingDelegate& self) { self.Download().reset(); };
    ASSERT_TRUE(Pump(
        [&] {
            return !views.front()->Download() &&
                   std::all_of(views.begin() + 1, views.end(),
                               [](const auto& view) { return view->Ended(); });
        },
        120s));

    EXPECT_EQ(requests, 1);
    for (size_t n = 1; n < kViews; ++n) {
        ASSERT_EQ(views[n]->Calls(), kFullOrder) << n;
        EXPECT_EQ(views[n]->BytesReceived(), body->size()) << n;
    }
    EXPECT_TRUE(ReadFile(dir / "one.swf") == *body);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"one.swf"});

    // Once it has ended, the address is fetched again.
    RecordingDelegate later(dir / "one.swf");
    ASSERT_TRUE(later.Start(server.Url("/one.swf")));
    ASSERT_TRUE(Pump([&] { return later.Ended(); }));
    EXPECT_TRUE(later.Finished());
    EXPECT_EQ(requests, 2);
}

} // namespace

namespace {

TEST_F(WebDownloadTest, HostileServersAreGivenUpAtTheirLimitLeavingNothing) {
    ServeEndless("/endless.swf");
    server.Http().Get("/bomb.swf",
                      [](const httplib::Request&, httplib::Response& res) { ServeBomb(res); });
    // Answers, then sends nothing at all: no body byte ever reaches the write callback.
    server.Http().Get("/stall.swf", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(kFlash, [this](size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(50ms);
            return !stopEndless && sink.is_writable();
        });
    });
    server.Http().Get("/login.swf", [](const httplib::Request&, httplib::Response& res) {
        res.status = 401;
        res.set_header("WWW-Authenticate", R"(Basic realm="movies")");
        res.set_content("log in first", "text/plain");
    });
    server.Start();
    DripServer drip;

    TransferLimits noTimeLimits;
    noTimeLimits.minBytesPerSecond = 0;
    noTimeLimits.totalTime = 0s;
    TransferLimits smallMovies = noTimeLimits;
    smallMovies.maxMovieBytes = 2 << 20;
    TransferLimits briskServers = noTimeLimits;
    briskServers.minBytesPerSecond = 100;
    briskServers.rateWindow = 1s;
    TransferLimits shortTransfers = noTimeLimits;
    shortTransfers.totalTime = 2s;

    struct Case {
        const char* name;
        std::string url;
        TransferLimits limits;
        std::string reason;
        // A generous deadline: the limit and a wide margin for a loaded machine, yet well short of
        // the 60 s low-speed stop that would end a drip or a stall anyway (with another reason).
        std::chrono::seconds within;
        uint64_t mostWritten = UINT64_MAX;
    };
    const std::vector<Case> cases = {
        {"compression bomb, default limits", server.Url("/bomb.swf"), TransferLimits{},
         "the movie decodes to more than 200 times the bytes received (a compression bomb)", 30s,
         (17 << 20)},
        {"endless body", server.Url("/endless.swf"), smallMovies,
         "the movie is larger than the 2 MiB limit (--max-movie-size)", 30s, (2 << 20)},
        {"drip under the rate", drip.Url("/drip.swf"), briskServers,
         "the server sent less than 100 bytes a second over 1 s (--min-rate)", 20s},
        {"stall after the answer", server.Url("/stall.swf"), briskServers,
         "the server sent less than 100 bytes a second over 1 s (--min-rate)", 20s},
        {"drip past the total time", drip.Url("/drip.swf"), shortTransfers,
         "the transfer took longer than the 2 s limit (--transfer-timeout)", 20s},
        {"login asked for", server.Url("/login.swf"), TransferLimits{},
         "the server asks for a login (HTTP 401)", 20s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedLimits limits(c.limits);
        RecordingDelegate delegate(dir / "movie.swf");
        ASSERT_TRUE(delegate.Start(c.url));
        ASSERT_TRUE(Pump([&] { return delegate.Ended(); }, c.within));

        ASSERT_TRUE(delegate.Error().has_value());
        EXPECT_EQ(delegate.Error()->localizedDescription, c.reason);
        EXPECT_EQ(LossReason(c.url), c.reason);
        // Stopped as the data came, not after writing it all.
        EXPECT_LE(delegate.BytesReceived(), c.mostWritten);
        EXPECT_TRUE(Poll([&] { return Names(dir.Path()).empty(); }));
    }
    stopEndless = true;
}

// Like a browser, no more than six connections to one host at once. A seventh could overrun the
// listen queue of a server with a backlog of five, and its SYN is sent again only a second later.
TEST_F(WebDownloadTest, AtMostSixConnectionsToAHostAtOnce) {
    DripServer drip;
    std::vector<std::unique_ptr<RecordingDelegate>> delegates;
    for (int n = 0; n < 10; ++n) {
        delegates.push_back(
            std::make_unique<RecordingDelegate>(dir / (std::to_string(n) + ".swf")));
        ASSERT_TRUE(delegates.back()->Start(drip.Url("/" + std::to_string(n) + ".swf")));
    }
    EXPECT_TRUE(Poll([&] { return drip.Connections() >= 6; }));
    RunLoop::Main().RunFor(300ms); // time for any further connection to arrive
    EXPECT_EQ(drip.Connections(), 6U);
}

TEST_F(WebDownloadTest, WellCompressedMoviesUnderTheLimitsArrive) {
    // Just under the size limit, and compressed far past the expansion limit but under its floor.
    const std::string plain(size_t{1} << 20, 'F');
    const std::string gzipped = Gzip(plain);
    server.Http().Get("/gz.swf", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(gzipped, kFlash);
    });
    server.Start();
    TransferLimits tight;
    tight.maxMovieBytes = plain.size();
    tight.expansionFloorBytes = plain.size();
    const ScopedLimits limits(tight);

    RecordingDelegate delegate(dir / "gz.swf");
    ASSERT_TRUE(delegate.Start(server.Url("/gz.swf")));
    ASSERT_TRUE(Pump([&] { return delegate.Ended(); }));
    ASSERT_TRUE(delegate.Finished()) << delegate.Error()->localizedDescription;
    EXPECT_TRUE(ReadFile(dir / "gz.swf") == plain);
}

} // namespace
