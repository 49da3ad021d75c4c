#include <iostream>
#include <string>
#include <vector>

#include "swfharvex/CommandLine.h"
#include "swfharvex/InterruptSignals.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = CommandLine::Run(args, std::cout, std::cerr);
    // A run stopped by a signal has ended in order (transfers cancelled, the browser gone, the
    // list printed); the process still ends as the signal would have ended it.
    if (const int signal = InterruptSignals::LastCaught(); signal != 0) {
        std::cout.flush();
        std::cerr.flush();
        InterruptSignals::EndAsSignalled(signal);
    }
    return status;
}
