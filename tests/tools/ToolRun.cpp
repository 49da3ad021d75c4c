#include "ToolRun.h"

#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "ReadWholeFile.h"
#include "TempDir.h"

extern char** environ;

ToolRun::ToolRun(const std::string& program, const std::vector<std::string>& args,
                 const std::string& home) {
    TempDir captures;
    std::string outPath = captures / "out";
    std::string errPath = captures / "err";

    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStrings = {"HOME=" + home};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "HOME=", 5) != 0) {
            envStrings.emplace_back(*entry);
        }
    }
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t child = 0;
    int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
    int wait = 0;
    if (waitpid(child, &wait, 0) == child && WIFEXITED(wait)) {
        status = WEXITSTATUS(wait);
    }
    out = ReadWholeFile(outPath);
    err = ReadWholeFile(errPath);
}
