#include "WholeProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

int RunProcess(const std::vector<std::string>& arguments) {
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
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
