#include "WholeProcess.h"

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The argument vector posix_spawn takes; it points into `arguments`.
std::vector<char*> ArgvOf(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

int Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv = ArgvOf(arguments);
    // What the command prints is not the benchmark's output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int RunProcess(const std::vector<std::string>& arguments) {
    return Spawn(arguments);
}

MeasuredRun RunMeasured(const std::vector<std::string>& arguments) {
    // GNU time forks the command from a process of its own, a few MB large: a child spawned
    // straight from the benchmark would count the benchmark's memory as its own peak (the peak
    // is carried across exec). Its %M covers the page readers the command waited for too.
    const std::filesystem::path report =
        std::filesystem::temp_directory_path() / ("hvx-peak-" + std::to_string(::getpid()));
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report.string()};
    timed.insert(timed.end(), arguments.begin(), arguments.end());
    MeasuredRun run;
    const auto started = std::chrono::steady_clock::now();
    run.status = Spawn(timed);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The figure is the last line; a failed command's status line comes before it.
    std::ifstream peak(report);
    std::string line;
    std::string last;
    while (std::getline(peak, line)) {
        last = line.empty() ? last : line;
    }
    run.peakMegabytes = std::strtod(last.c_str(), nullptr) / 1024.0;
    std::filesystem::remove(report);
    return run;
}

std::string MovieBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 131 + (i >> 7));
    }
    return bytes;
}

size_t FilesIn(const std::filesystem::path& folder) {
    std::error_code error;
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         it != std::filesystem::directory_iterator(); ++it) {
        count += it->path().filename().string().starts_with('.') ? 0 : 1;
    }
    return count;
}

ChildServer::ChildServer(const std::vector<std::string>& arguments) {
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        return;
    }
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return;
    }
    std::vector<char*> argv = ArgvOf(arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    m_input = input[1];
    if (spawned == 0) {
        m_pid = child;
        std::string line;
        char c = 0;
        while (::read(output[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        m_port = std::atoi(line.c_str());
    }
    ::close(output[0]);
}

ChildServer::~ChildServer() {
    ::close(m_input);
    if (m_pid > 0) {
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::string ChildServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> CurlParallel(const std::filesystem::path& folder,
                                      const std::vector<std::string>& urls) {
    std::vector<std::string> command = {
        "curl",   "--parallel",        "--silent",     "--no-progress-meter",
        "--fail", "--remote-name-all", "--output-dir", folder.string()};
    command.insert(command.end(), urls.begin(), urls.end());
    return command;
}
