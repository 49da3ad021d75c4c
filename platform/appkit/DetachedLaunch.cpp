#include "appkit/DetachedLaunch.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Between fork and exec only async-signal-safe calls: everything is prepared before.
[[noreturn]] void RunGrandchild(char* const* argv, int errorPipe) {
    sigset_t all;
    sigemptyset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, nullptr);
    sigaction(SIGCHLD, &defaults, nullptr);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        if (devNull > STDERR_FILENO) {
            close(devNull);
        }
    }
    // Sockets and files of ours must not live on in the program; the error pipe is already
    // close-on-exec. Old kernels without this flag just keep them.
    close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(argv[0], argv);
    int error = errno;
    ssize_t ignored = write(errorPipe, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

[[noreturn]] void RunChild(char* const* argv, int errorPipe) {
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
        RunGrandchild(argv, errorPipe);
    }
    if (grandchild < 0) {
        int error = errno;
        ssize_t ignored = write(errorPipe, &error, sizeof error);
        (void)ignored;
    }
    _exit(0);
}

} // namespace

Outcome<> LaunchDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty() || argv.front().front() != '/') {
        return Failure{argv.empty() ? std::string() : argv.front(), "not an absolute path"};
    }
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& argument : argv) {
        pointers.push_back(const_cast<char*>(argument.c_str()));
    }
    pointers.push_back(nullptr);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        return Failure{argv.front(), std::strerror(errno)};
    }
    pid_t child = fork();
    if (child == 0) {
        close(errorPipe[0]);
        RunChild(pointers.data(), errorPipe[1]);
    }
    close(errorPipe[1]);
    if (child < 0) {
        const int error = errno;
        close(errorPipe[0]);
        return Failure{argv.front(), std::strerror(error)};
    }
    // The child leaves at once; waiting for it leaves no zombie (ECHILD when SIGCHLD is
    // ignored: then there is nothing to reap).
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // End of file: the exec closed the grandchild's end. A number: why nothing was started.
    int error = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (got == 0) {
        return {};
    }
    return Failure{argv.front(), got == sizeof error ? std::strerror(error) : "did not start"};
}
