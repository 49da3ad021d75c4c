// 300 movies of 200 kB on one page: `swfharvex capture` against `curl --parallel` fetching the
// same URLs from the same loopback server, each as a whole process, in the same run.
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "LoopbackServer.h"
#include "TempDir.h"
#include "WholeProcess.h"

namespace {

constexpr int kMovies = 300;
constexpr size_t kMovieBytes = 200 * 1024;

LoopbackServer& Server() {
    static LoopbackServer* server = [] {
        static LoopbackServer instance;
        static const std::string movie = MovieBytes(kMovieBytes);
        instance.Http().Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
            std::string page = "<html><body>";
            for (int i = 0; i < kMovies; ++i) {
                page += "<embed src='/m/movie" + std::to_string(i) + ".swf'>";
            }
            response.set_content(page + "</body></html>", "text/html");
        });
        instance.Http().Get("/m/.*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(movie, "application/x-shockwave-flash");
        });
        instance.Start();
        return &instance;
    }();
    return *server;
}

void BM_SwfharvexCapture(benchmark::State& state) {
    std::string page = Server().Url("/page.html");
    for (auto _ : state) {
        TempDir home;
        setenv("HOME", home.Path().c_str(), 1);
        int status =
            RunProcess({HVX_SWFHARVEX_BINARY, "capture", "--engine", "static", page, "--json"});
        if (status != 0 || FilesIn(home.Path() / "Documents/SWFHarvexData") != kMovies) {
            state.SkipWithError("capture failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMovies * kMovieBytes);
}

void BM_CurlParallel(benchmark::State& state) {
    std::vector<std::string> urls;
    for (int i = 0; i < kMovies; ++i) {
        urls.push_back(Server().Url("/m/movie" + std::to_string(i) + ".swf"));
    }
    for (auto _ : state) {
        TempDir folder;
        if (RunProcess(CurlParallel(folder.Path(), urls)) != 0 ||
            FilesIn(folder.Path()) != kMovies) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMovies * kMovieBytes);
}

} // namespace

BENCHMARK(BM_SwfharvexCapture)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlParallel)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
