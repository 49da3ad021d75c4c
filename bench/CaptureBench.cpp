// 300 movies of 200 kB on one page: `swfharvex capture` against `curl --parallel` fetching the
// same URLs, each as a whole process, in the same run. The server is a plain threading HTTP
// server (Python's, one request per connection) run with a listen backlog of 128 and of 5, the
// default of Python's and of many small servers. Prints the medians' ratios at the end, and
// counts the connections the kernel dropped because the server's listen queue was full.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "TempDir.h"
#include "WholeProcess.h"

namespace {

constexpr int kMovies = 300;
constexpr size_t kMovieBytes = size_t{200} * 1024;

ChildServer& Server(int backlog) {
    static std::map<int, std::unique_ptr<ChildServer>> servers;
    std::unique_ptr<ChildServer>& server = servers[backlog];
    if (!server) {
        server = std::make_unique<ChildServer>(
            std::vector<std::string>{"python3", HVX_MOVIE_SERVER_SCRIPT, std::to_string(kMovies),
                                     std::to_string(kMovieBytes), std::to_string(backlog)});
    }
    return *server;
}

// The kernel's count of connections dropped at a full listen queue, machine-wide. Each one
// costs its client a retransmission a second later.
double ListenOverflows() {
    std::ifstream netstat("/proc/net/netstat");
    std::string names;
    std::string values;
    while (std::getline(netstat, names) && std::getline(netstat, values)) {
        if (names.rfind("TcpExt:", 0) != 0) {
            continue;
        }
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string value;
        while (nameWords >> name && valueWords >> value) {
            if (name == "ListenOverflows") {
                return std::stod(value);
            }
        }
    }
    return 0;
}

// Runs `command` once per iteration into a fresh folder, which must then hold every movie.
template <typename Command>
void TimeRuns(benchmark::State& state, const char* what, Command command) {
    if (Server(static_cast<int>(state.range(0))).Port() == 0) {
        state.SkipWithError("the movie server did not start (python3)");
        return;
    }
    const double overflowsBefore = ListenOverflows();
    for (auto _ : state) {
        TempDir home;
        const auto [arguments, folder] = command(home.Path());
        if (RunProcess(arguments) != 0 || FilesIn(folder) != kMovies) {
            state.SkipWithError((std::string(what) + " failed or missed movies").c_str());
            break;
        }
    }
    state.counters["listen_overflows"] =
        benchmark::Counter(ListenOverflows() - overflowsBefore, benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMovies * kMovieBytes);
}

void BM_SwfharvexCapture(benchmark::State& state) {
    const std::string page = Server(static_cast<int>(state.range(0))).Url("/page.html");
    TimeRuns(state, "capture", [&page](const std::filesystem::path& home) {
        setenv("HOME", home.c_str(), 1);
        return std::pair(std::vector<std::string>{HVX_SWFHARVEX_BINARY, "capture", "--engine",
                                                  "static", page, "--json"},
                         home / "Documents/SWFHarvexData");
    });
}

void BM_CurlParallel(benchmark::State& state) {
    std::vector<std::string> urls;
    urls.reserve(kMovies);
    for (int i = 0; i < kMovies; ++i) {
        urls.push_back(
            Server(static_cast<int>(state.range(0))).Url("/m/movie" + std::to_string(i) + ".swf"));
    }
    TimeRuns(state, "curl", [&urls](const std::filesystem::path& folder) {
        return std::pair(CurlParallel(folder, urls), folder);
    });
}

// Prints as usual and keeps each benchmark's median, keyed by name and backlog.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                medians[{run.run_name.function_name, run.run_name.args}] =
                    run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::pair<std::string, std::string>, double> medians;
};

// Both listen backlogs; five whole runs each, of which the median counts.
void BothBacklogs(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(128)
        ->Arg(5)
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_SwfharvexCapture)->Apply(BothBacklogs);
BENCHMARK(BM_CurlParallel)->Apply(BothBacklogs);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const char* backlog : {"128", "5"}) {
        const auto capture = reporter.medians.find({"BM_SwfharvexCapture", backlog});
        const auto curl = reporter.medians.find({"BM_CurlParallel", backlog});
        if (capture != reporter.medians.end() && curl != reporter.medians.end()) {
            std::printf("listen backlog %s: capture %.0f ms, curl --parallel %.0f ms, ratio %.2f\n",
                        backlog, capture->second, curl->second, capture->second / curl->second);
        }
    }
    return 0;
}
