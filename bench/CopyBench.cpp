// Saving a 50 MB movie: the save workflow into a fresh folder (a hidden copy beside the target,
// renamed into place) and a replacement of an existing file (flushed to disk before the rename)
// against cp on the same file system, with cp followed by a flush of its copy and the kernel
// copy alone for comparison. The ratios to cp are printed at the end.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/FileManager.h"
#include "listwindow/SaveWorkflow.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr size_t kMovieSize = size_t{50} << 20;

// Under the build folder: the same file system as the build, which /tmp need not be.
const fs::path& WorkFolder() {
    static const fs::path folder = [] {
        fs::path path = fs::path(HVX_BENCH_WORK_DIR) / "copy-bench";
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

const std::string& Source() {
    static const std::string path = [] {
        std::string file = (WorkFolder() / "source.swf").string();
        std::vector<char> bytes(kMovieSize);
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 2654435761U) >> 13);
        }
        std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return file;
    }();
    return path;
}

std::string Target() {
    return (WorkFolder() / "target.swf").string();
}

void Flush(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        throw std::runtime_error("cannot flush " + path);
    }
    ::close(fd);
}

void RunCp(const std::string& from, const std::string& to) {
    std::vector<char*> argv{const_cast<char*>("cp"), const_cast<char*>(from.c_str()),
                            const_cast<char*>(to.c_str()), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, "cp", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start cp");
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("cp failed");
    }
}

// The kernel copy the file manager does, without its flushes and rename.
void KernelCopy(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    size_t left = kMovieSize;
    while (in >= 0 && out >= 0 && left > 0) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, left, 0);
        if (n <= 0) {
            break;
        }
        left -= static_cast<size_t>(n);
    }
    ::close(in);
    ::close(out);
    if (left != 0) {
        throw std::runtime_error("kernel copy failed");
    }
}

// Each copy goes to a fresh target; removing the last one is not measured.
template <typename Copy> void Measure(benchmark::State& state, Copy copy) {
    const std::string& source = Source();
    const std::string target = Target();
    fs::remove(target);
    for (auto _ : state) {
        copy(source, target);
        state.PauseTiming();
        fs::remove(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMovieSize));
}

void BM_FileManagerCopyPath(benchmark::State& state) {
    Measure(state, [](const std::string& from, const std::string& to) {
        if (!FileManager::defaultManager().copyPath(from, to).ok()) {
            throw std::runtime_error("copyPath failed");
        }
    });
}
BENCHMARK(BM_FileManagerCopyPath)->Unit(benchmark::kMillisecond)->UseRealTime();

// Save pressed with a free name in the folder, as a user saves a caught movie.
void BM_SaveWorkflow(benchmark::State& state) {
    const fs::path source = Source();
    const fs::path folder = WorkFolder() / "saved";
    fs::create_directories(folder);
    const SaveRequest request{source.parent_path().string(), source.filename().string(),
                              folder.string(), 0};
    for (auto _ : state) {
        SaveWorkflow workflow;
        if (!std::holds_alternative<SaveWorkflow::Finished>(
                workflow.Transition(SaveWorkflow::Save{request}))) {
            throw std::runtime_error("the save failed");
        }
        state.PauseTiming();
        fs::remove(folder / source.filename());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMovieSize));
}
BENCHMARK(BM_SaveWorkflow)->Unit(benchmark::kMillisecond)->UseRealTime();

// Replacing a file the user already has: the copy is on disk before the old file goes.
void BM_FileManagerReplace(benchmark::State& state) {
    const std::string target = Target();
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(target) << "the old file";
        state.ResumeTiming();
        if (!FileManager::defaultManager().replaceItemByCopying(Source(), target).ok()) {
            throw std::runtime_error("replaceItemByCopying failed");
        }
    }
    fs::remove(target);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMovieSize));
}
BENCHMARK(BM_FileManagerReplace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Cp(benchmark::State& state) {
    Measure(state, RunCp);
}
BENCHMARK(BM_Cp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpThenFlush(benchmark::State& state) {
    Measure(state, [](const std::string& from, const std::string& to) {
        RunCp(from, to);
        Flush(to);
    });
}
BENCHMARK(BM_CpThenFlush)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KernelCopyWithoutFlush(benchmark::State& state) {
    Measure(state, KernelCopy);
}
BENCHMARK(BM_KernelCopyWithoutFlush)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console's table, and each run's time per copy kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                m_seconds[run.benchmark_name()] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        }
    }

    void PrintRatios() const {
        auto cp = m_seconds.find("BM_Cp/real_time");
        if (cp == m_seconds.end()) {
            return;
        }
        for (const auto& [name, seconds] : m_seconds) {
            std::printf("%-40s %8.1f ms  %5.2fx cp\n", name.c_str(), seconds * 1000,
                        seconds / cp->second);
        }
    }

private:
    std::map<std::string, double> m_seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    fs::remove_all(WorkFolder());
    return 0;
}
