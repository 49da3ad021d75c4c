// What a hostile page or server costs `swfharvex capture`: wall time and peak resident memory
// (the command and the page readers it waits for) for pages nested to crash or stall the reader,
// and for movies that bomb, never end, drip or stall. Each case names its limit; a case must end
// within that limit plus 5 s and stay under 200 MB, and a sound movie on the same run is caught.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "LoopbackServer.h"
#include "TempDir.h"
#include "WholeProcess.h"

namespace {

constexpr size_t kMovieBytes = 200 * 1024;
constexpr int kPageTimeoutSeconds = 5;
constexpr int kTransferTimeoutSeconds = 10;

std::string Nested(const std::string& open, const std::string& close, int depth) {
    std::string html = "<html><body>";
    html.reserve(html.size() + static_cast<size_t>(depth) * (open.size() + close.size()));
    for (int i = 0; i < depth; ++i) {
        html += open;
    }
    for (int i = 0; i < depth; ++i) {
        html += close;
    }
    return html + "</body></html>";
}

// `gigabytes` GiB of zeros, gzip-encoded: about a thousandth of that on the wire.
std::string GzipBomb(int gigabytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 9, Z_RLE);
    const std::string zeros(size_t{1} << 20, '\0');
    std::string out;
    std::string chunk(size_t{1} << 16, '\0');
    const int megabytes = gigabytes * 1024;
    for (int i = 0; i <= megabytes; ++i) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = i < megabytes ? static_cast<uInt>(zeros.size()) : 0;
        const int flush = i < megabytes ? Z_NO_FLUSH : Z_FINISH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, flush);
            out.append(chunk.data(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

LoopbackServer& Server() {
    static LoopbackServer* server = [] {
        static LoopbackServer instance;
        static const std::string movie = MovieBytes(kMovieBytes);
        static const std::string objects =
            Nested("<object data='/m/nested.swf' type='application/x-shockwave-flash'>",
                   "</object>", 300'000);
        static const std::string divs = Nested("<div>", "</div>", 1'000'000);
        static const std::string bomb = GzipBomb(2);
        httplib::Server& http = instance.Http();
        http.Get("/objects.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(objects, "text/html");
        });
        http.Get("/divs.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(divs, "text/html");
        });
        http.Get("/sound.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<embed src='/m/sound.swf'>", "text/html");
        });
        http.Get("/movie/(\\w+).html",
                 [](const httplib::Request& request, httplib::Response& response) {
                     response.set_content("<embed src='/bad/" + request.matches[1].str() + ".swf'>",
                                          "text/html");
                 });
        http.Get("/m/.*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(movie, "application/x-shockwave-flash");
        });
        http.Get("/bad/bomb.swf", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Encoding", "gzip");
            response.set_content(bomb, "application/x-shockwave-flash");
        });
        http.Get("/bad/endless.swf", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/x-shockwave-flash", [](size_t, httplib::DataSink& sink) {
                    static const std::string block(size_t{1} << 20, 'x');
                    return sink.write(block.data(), block.size());
                });
        });
        http.Get("/bad/drip.swf", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/x-shockwave-flash", [](size_t, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    return sink.write("F", 1);
                });
        });
        http.Get("/bad/stall.swf", [](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/x-shockwave-flash", [](size_t offset, httplib::DataSink& sink) {
                    if (offset == 0) {
                        return sink.write("FWS", 3);
                    }
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    return sink.is_writable();
                });
        });
        instance.Start();
        return &instance;
    }();
    return *server;
}

// One hostile page or movie beside a sound page: the hostile one fails within its limit, the
// sound movie is caught.
void Hostile(benchmark::State& state, const std::string& path, int limitSeconds) {
    const std::vector<std::string> command = {
        HVX_SWFHARVEX_BINARY, "capture",
        "--engine",           "static",
        "--page-timeout",     std::to_string(kPageTimeoutSeconds),
        "--transfer-timeout", std::to_string(kTransferTimeoutSeconds),
        Server().Url(path),   Server().Url("/sound.html")};
    MeasuredRun worst;
    for (auto _ : state) {
        TempDir home;
        setenv("HOME", home.Path().c_str(), 1);
        const MeasuredRun run = RunMeasured(command);
        if (run.status <= 0 || FilesIn(home.Path() / "Documents/SWFHarvexData") != 1) {
            state.SkipWithError("the hostile case was not reported, or the sound movie was lost");
            break;
        }
        worst.seconds = std::max(worst.seconds, run.seconds);
        worst.peakMegabytes = std::max(worst.peakMegabytes, run.peakMegabytes);
    }
    state.counters["peak_MB"] = worst.peakMegabytes;
    state.counters["worst_s"] = worst.seconds;
    state.counters["limit_s"] = limitSeconds;
    if (worst.seconds > limitSeconds + 5 || worst.peakMegabytes > 200) {
        state.SkipWithError("past the limit plus 5 s, or over 200 MB");
    }
}

} // namespace

BENCHMARK_CAPTURE(Hostile, nested_objects_300k, "/objects.html", kPageTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Hostile, nested_divs_1M, "/divs.html", kPageTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Hostile, gzip_bomb_2GiB, "/movie/bomb.html", kTransferTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Hostile, endless_body, "/movie/endless.html", kTransferTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Hostile, drip_1Bps, "/movie/drip.html", kTransferTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Hostile, stall, "/movie/stall.html", kTransferTimeoutSeconds)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
