#pragma once

// Catches SIGINT, SIGTERM and SIGHUP while alive, so that a run can stop in order: its handler
// only notes the signal, and the run loop (which polls Caught()) does the rest. Installed before
// the page engine starts, it takes the place of the engine's own handlers; the browser then goes
// with the objects, as in a normal end.
class InterruptSignals {
public:
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;
    InterruptSignals(InterruptSignals&&) = delete;
    InterruptSignals& operator=(InterruptSignals&&) = delete;

    // The signal caught since this object was made, 0 while none.
    int Caught() const;

    // The signal any InterruptSignals of the process caught, 0 when none did: once the run has
    // ended in order, the process ends as that signal would have ended it (EndAsSignalled).
    static int LastCaught();

    // Ends the process by `signal` with its default action, so that a shell sees it was
    // interrupted (status 128 + signal).
    [[noreturn]] static void EndAsSignalled(int signal);
};
