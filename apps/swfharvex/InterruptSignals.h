#pragma once

// A run stopped by SIGINT, SIGTERM or SIGHUP ends in order (transfers cancelled, the browser
// gone, the list printed); then the process still ends as the signal would have ended it, so
// that a shell sees it was interrupted. The run loop caught the signal (HostSession); this
// remembers it until main() ends the process.
class InterruptSignals {
public:
    // The run was stopped by `signal`.
    static void Remember(int signal);
    // The signal a run was stopped by, 0 when none was.
    static int LastCaught();

    // Ends the process by `signal` with its default action (status 128 + signal).
    [[noreturn]] static void EndAsSignalled(int signal);
};
