#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Benchmarks that time whole processes: the command as a user runs it, and curl beside it.

// Runs the program (found on PATH when not a path) and waits; its exit status, or -1 when it
// could not start or died of a signal.
int RunProcess(const std::vector<std::string>& arguments);

// What one run cost: its exit status as above, the wall time, and the peak resident memory of
// the process or of any of the helpers it waited for (whichever was largest), as GNU time
// (/usr/bin/time) measures it.
struct MeasuredRun {
    int status = -1;
    double seconds = 0;
    double peakMegabytes = 0;
};
MeasuredRun RunMeasured(const std::vector<std::string>& arguments);

// `size` bytes standing for a movie: the server sends them, nobody reads them as one.
std::string MovieBytes(size_t size);

// Entries in a folder, hidden ones (a partial file, the capture folder's mirror) aside; 0 when it
// cannot be read.
size_t FilesIn(const std::filesystem::path& folder);

// A server run as a child process, for benchmarks that must not share the server with the
// benchmark's own threads. It prints its port on its first line and stops when its standard
// input closes, so it cannot outlive the benchmark.
class ChildServer {
public:
    explicit ChildServer(const std::vector<std::string>& arguments);
    ~ChildServer();
    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;
    ChildServer(ChildServer&&) = delete;
    ChildServer& operator=(ChildServer&&) = delete;

    // 0 when the server did not start.
    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;

private:
    int m_pid = -1;
    int m_input = -1;
    int m_port = 0;
};

// `curl --parallel` fetching every URL into `folder`, as the bare transfer to measure against.
std::vector<std::string> CurlParallel(const std::filesystem::path& folder,
                                      const std::vector<std::string>& urls);
