#include "swfharvex/InterruptSignals.h"

#include <array>
#include <csignal>
#include <cstdlib>

namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_caught = 0;
std::array<struct sigaction, kSignals.size()> g_previous{};

void Note(int signal) {
    g_caught = signal;
}

} // namespace

InterruptSignals::InterruptSignals() {
    g_caught = 0;
    struct sigaction action {};
    action.sa_handler = &Note;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (g_previous[i].sa_handler != SIG_IGN) {
            sigaction(kSignals[i], &action, nullptr);
        }
    }
}

InterruptSignals::~InterruptSignals() {
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
}

int InterruptSignals::Caught() const {
    return g_caught;
}

int InterruptSignals::LastCaught() {
    return g_caught;
}

void InterruptSignals::EndAsSignalled(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal); // should the default action not end the process
}
