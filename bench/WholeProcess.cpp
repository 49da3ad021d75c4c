#include "WholeProcess.h"

#include <chrono>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

int RunProcess(const std::vector<std::string>& arguments) {
    return RunMeasured(arguments).status;
}

MeasuredRun RunMeasured(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    // What the command prints is not the benchmark's output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    MeasuredRun run;
    if (spawned != 0) {
        return run;
    }
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    // The child's usage covers the descendants it waited for, so a page reader counts too.
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
        ++count;
    }
    return count;
}

std::vector<std::string> CurlParallel(const std::filesystem::path& folder,
                                      const std::vector<std::string>& urls) {
    std::vector<std::string> command = {
        "curl",   "--parallel",        "--silent",     "--no-progress-meter",
        "--fail", "--remote-name-all", "--output-dir", folder.string()};
    command.insert(command.end(), urls.begin(), urls.end());
    return command;
}
