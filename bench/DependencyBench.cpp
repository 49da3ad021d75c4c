// One page of 20 movies, each of which loads 10 files of 20 kB (served uncompressed: the test
// server gzips text types, and its gzip answers come one at a time, 30 ms apart): `swfharvex
// capture` with the static engine catching those dependencies into the mirror by reading (the
// default), the same page with --read-depth 0 (the movies alone), and a page of 20 movies that
// load nothing; then with the Chromium engine, where each movie also plays (--play 5, the
// default), against --play 0 and the page of movies that load nothing. Every run must catch all
// 20 movies, and each run that reads every dependency.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "WholeProcess.h"

namespace {

constexpr int kMovies = 20;
constexpr int kDependenciesPerMovie = 10;
constexpr size_t kDependencyBytes = 20 * 1024;

// A movie whose code requests `urls` as it starts (written by swfmovie).
std::string RequestMovie(const std::vector<std::string>& urls) {
    static TempDir work;
    nlohmann::json description{{"version", 10}, {"width", 20},
                               {"height", 20},  {"frameRate", 12},
                               {"frames", 1},   {"requests", nlohmann::json::array()}};
    for (const std::string& url : urls) {
        description["requests"].push_back({{"method", "GET"}, {"url", url}});
    }
    const std::string json = (work.Path() / "movie.json").string();
    const std::string swf = (work.Path() / "movie.swf").string();
    std::ofstream(json) << description.dump();
    if (std::system((std::string(HVX_SWFMOVIE) + " '" + json + "' -o '" + swf + "'").c_str()) !=
        0) {
        return {};
    }
    return ReadWholeFile(swf);
}

LoopbackServer& Server() {
    static LoopbackServer* server = [] {
        static LoopbackServer instance;
        static std::vector<std::string> loaders;
        for (int movie = 0; movie < kMovies; ++movie) {
            std::vector<std::string> urls;
            for (int i = 0; i < kDependenciesPerMovie; ++i) {
                urls.push_back("d" + std::to_string(movie) + "-" + std::to_string(i) + ".xml");
            }
            loaders.push_back(RequestMovie(urls));
        }
        static const std::string plain = RequestMovie({});
        static const std::string dependency = MovieBytes(kDependencyBytes);
        for (const char* page : {"/l/loaders.html", "/plain.html"}) {
            const std::string folder = std::string(page) == "/l/loaders.html" ? "l" : "p";
            instance.Http().Get(
                page, [folder](const httplib::Request&, httplib::Response& response) {
                    std::string html;
                    for (int movie = 0; movie < kMovies; ++movie) {
                        html += "<embed src='/" + folder + "/m" + std::to_string(movie) + ".swf'>";
                    }
                    response.set_content(html, "text/html");
                });
        }
        instance.Http().Get("/l/m(\\d+).swf",
                            [](const httplib::Request& request, httplib::Response& response) {
                                response.set_content(loaders.at(std::stoul(request.matches[1])),
                                                     "application/x-shockwave-flash");
                            });
        instance.Http().Get("/p/m(\\d+).swf",
                            [](const httplib::Request&, httplib::Response& response) {
                                response.set_content(plain, "application/x-shockwave-flash");
                            });
        instance.Http().Get("/l/d.*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(dependency, "application/octet-stream");
        });
        instance.Start();
        return &instance;
    }();
    return *server;
}

void Capture(benchmark::State& state, const std::string& engine, const std::string& page,
             const std::vector<std::string>& options, size_t mirrorFiles) {
    std::vector<std::string> command = {HVX_SWFHARVEX_BINARY, "capture", "--engine", engine};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(Server().Url(page));
    for (auto _ : state) {
        TempDir home;
        setenv("HOME", home.Path().c_str(), 1);
        const std::filesystem::path folder = home.Path() / "Documents/SWFHarvexData";
        size_t inMirror = 0;
        if (RunProcess(command) == 0 && std::filesystem::exists(folder / ".mirror")) {
            for (const auto& file :
                 std::filesystem::recursive_directory_iterator(folder / ".mirror")) {
                inMirror += file.is_regular_file() ? 1 : 0;
            }
        }
        // The movies, and in the mirror each movie, each dependency and the manifest.
        if (FilesIn(folder) != kMovies || inMirror != mirrorFiles) {
            state.SkipWithError("capture failed or missed files");
            break;
        }
    }
}

constexpr size_t kAllFiles = kMovies * (1 + kDependenciesPerMovie) + 1;

void BM_MoviesThatLoadTenFilesEach(benchmark::State& state) {
    Capture(state, "static", "/l/loaders.html", {}, kAllFiles);
}

void BM_TheSameMoviesWithoutTheirFiles(benchmark::State& state) {
    Capture(state, "static", "/l/loaders.html", {"--read-depth", "0"}, 0);
}

void BM_MoviesThatLoadNothing(benchmark::State& state) {
    Capture(state, "static", "/plain.html", {}, kMovies + 1);
}

void BM_ChromiumPlayingMoviesThatLoadTenFilesEach(benchmark::State& state) {
    Capture(state, "chromium", "/l/loaders.html", {}, kAllFiles);
}

void BM_ChromiumTheSameWithoutPlaying(benchmark::State& state) {
    Capture(state, "chromium", "/l/loaders.html", {"--play", "0"}, kAllFiles);
}

void BM_ChromiumPlayingMoviesThatLoadNothing(benchmark::State& state) {
    Capture(state, "chromium", "/plain.html", {}, kMovies + 1);
}

} // namespace

BENCHMARK(BM_MoviesThatLoadTenFilesEach)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TheSameMoviesWithoutTheirFiles)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoviesThatLoadNothing)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChromiumPlayingMoviesThatLoadTenFilesEach)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChromiumTheSameWithoutPlaying)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChromiumPlayingMoviesThatLoadNothing)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
