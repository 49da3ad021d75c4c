#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

#include "foundation/Outcome.h"

// A program this process starts and waits for. The child starts as a fresh program would:
// default signal actions, nothing blocked (the command blocks its stop signals for the run
// loop's signal source), only the descriptors it is given, in a process group of its own.
class ChildProcess {
public:
    struct Options {
        // argv[0]: a path, or a name looked up on PATH (FindProgram).
        std::vector<std::string> argv;
        // "NAME=value" entries; none: ours.
        std::optional<std::vector<std::string>> environment;
        // The child's descriptor -> ours; kNull is /dev/null. Every other descriptor is closed.
        std::map<int, int> fds = {{0, kNull}, {1, 1}, {2, 2}};
        // RLIMIT_* -> the soft and hard limit.
        std::map<int, rlim_t> limits;
        bool ownGroup = true;
        // Killed (SIGKILL) when this process ends, however it ends.
        bool endsWithUs = false;
    };
    static constexpr int kNull = -1;

    using Clock = std::chrono::steady_clock;

    // Started when its exec succeeded; otherwise a Failure naming the program and why.
    static Outcome<ChildProcess> Spawn(const Options& options);

    // Starts a program that is none of ours to wait for: in a session of its own, input from
    // /dev/null, nothing of ours inherited beyond standard output and error. It never stays our
    // zombie, not even when we adopt orphans (PR_SET_CHILD_SUBREAPER). Answers its process id.
    static Outcome<pid_t> LaunchDetached(const std::vector<std::string>& argv);

    // A program name as a shell would find it: a name with a slash is taken as a path (made
    // absolute); otherwise the first executable regular file of that name in the folders of
    // `searchPath` (colon separated; empty entries are skipped rather than meaning ".").
    static std::optional<std::string> FindProgram(const std::string& name,
                                                  const std::string& searchPath);
    // The same with the environment's PATH.
    static std::optional<std::string> FindProgram(const std::string& name);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed and reaped: none outlives its owner as a zombie.
    ~ChildProcess();

    pid_t pid() const { return m_pid; }
    bool running() const { return m_pid > 0 && !m_status; }

    // Waits for the end until `deadline`; a child still running then is killed (SIGKILL, its
    // group too when it has one) and reported as too slow. Done for exit status 0; otherwise the
    // Failure says why ("exited with status 3", "killed by SIGKILL").
    Outcome<> Wait(Clock::time_point deadline = Clock::time_point::max());
    // Whether it has ended, without waiting; reaps it when it has.
    bool Ended();
    // Waits until it has ended or `deadline` passes, leaving it unreaped, so that its number
    // still names its group; answers whether it ended.
    bool AwaitEnd(Clock::time_point deadline) const;
    // Hands the process over to a caller that reaps it itself (by its group); answers its id.
    pid_t Release();

    // After Wait: the exit status, or the signal that ended it (else -1 and 0).
    int exitStatus() const;
    int endingSignal() const;

    // "SIGKILL" for SIGKILL.
    static std::string SignalName(int signal);

private:
    ChildProcess(pid_t pid, std::string program, bool ownGroup)
        : m_pid(pid), m_program(std::move(program)), m_ownGroup(ownGroup) {}

    Outcome<> Verdict() const;
    void Kill();

    pid_t m_pid = -1;
    std::string m_program;
    bool m_ownGroup = false;
    std::optional<int> m_status; // the wait status, once reaped
    Clock::time_point m_started;
};
