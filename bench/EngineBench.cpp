// 100 pages of 5 movies (200 kB each): `swfharvex capture` with the static engine, with the
// Chromium engine (its settle time at the default and at 0.5 s), and `curl --parallel` fetching
// the 500 movies alone, each as a whole process, against the same loopback server. Every run must
// catch all 500 movies.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "LoopbackServer.h"
#include "TempDir.h"
#include "WholeProcess.h"

namespace {

constexpr int kPages = 100;
constexpr int kMoviesPerPage = 5;
constexpr size_t kMovieBytes = 200 * 1024;

std::string MovieURL(int page, int movie) {
    return "/m/p" + std::to_string(page) + "-" + std::to_string(movie) + ".swf";
}

LoopbackServer& Server() {
    static LoopbackServer* server = [] {
        static LoopbackServer instance;
        static const std::string movie = MovieBytes(kMovieBytes);
        // Each page names its movies twice, as sites did: <embed>s that a script inserts (what
        // Chromium sees) and the same in <noscript> (what a reader without scripts sees).
        instance.Http().Get(
            "/page/(\\d+)", [](const httplib::Request& request, httplib::Response& response) {
                const int page = std::stoi(request.matches[1]);
                std::string html = "<html><body><div id=movies></div><script>const list = [";
                for (int i = 0; i < kMoviesPerPage; ++i) {
                    html += "'" + MovieURL(page, i) + "',";
                }
                html += "]; for (const src of list) { const e = document.createElement('embed');"
                        "e.src = src; document.getElementById('movies').appendChild(e); }"
                        "</script><noscript>";
                for (int i = 0; i < kMoviesPerPage; ++i) {
                    html += "<embed src='" + MovieURL(page, i) + "'>";
                }
                response.set_content(html + "</noscript></body></html>", "text/html");
            });
        instance.Http().Get("/m/.*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(movie, "application/x-shockwave-flash");
        });
        instance.Start();
        return &instance;
    }();
    return *server;
}

std::vector<std::string> Pages() {
    std::vector<std::string> pages;
    for (int page = 0; page < kPages; ++page) {
        pages.push_back(Server().Url("/page/" + std::to_string(page)));
    }
    return pages;
}

void Capture(benchmark::State& state, const std::vector<std::string>& options) {
    std::vector<std::string> command = {HVX_SWFHARVEX_BINARY, "capture", "--json"};
    command.insert(command.end(), options.begin(), options.end());
    const std::vector<std::string> pages = Pages();
    command.insert(command.end(), pages.begin(), pages.end());
    for (auto _ : state) {
        TempDir home;
        setenv("HOME", home.Path().c_str(), 1);
        if (RunProcess(command) != 0 ||
            FilesIn(home.Path() / "Documents/SWFHarvexData") != kPages * kMoviesPerPage) {
            state.SkipWithError("capture failed or missed movies");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPages * kMoviesPerPage *
                            static_cast<int64_t>(kMovieBytes));
}

void BM_StaticEngine(benchmark::State& state) {
    Capture(state, {"--engine", "static"});
}

void BM_ChromiumEngine(benchmark::State& state) {
    Capture(state, {"--engine", "chromium"});
}

void BM_ChromiumEngineSettleHalfSecond(benchmark::State& state) {
    Capture(state, {"--engine", "chromium", "--settle", "0.5"});
}

void BM_BareTransfer(benchmark::State& state) {
    std::vector<std::string> urls;
    for (int page = 0; page < kPages; ++page) {
        for (int i = 0; i < kMoviesPerPage; ++i) {
            urls.push_back(Server().Url(MovieURL(page, i)));
        }
    }
    for (auto _ : state) {
        TempDir folder;
        if (RunProcess(CurlParallel(folder.Path(), urls)) != 0 ||
            FilesIn(folder.Path()) != urls.size()) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(urls.size() * kMovieBytes));
}

} // namespace

BENCHMARK(BM_StaticEngine)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChromiumEngine)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChromiumEngineSettleHalfSecond)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareTransfer)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
