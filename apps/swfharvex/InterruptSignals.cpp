#include "swfharvex/InterruptSignals.h"

#include <csignal>
#include <cstdlib>

namespace {

int g_caught = 0;

} // namespace

void InterruptSignals::Remember(int signal) {
    g_caught = signal;
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
