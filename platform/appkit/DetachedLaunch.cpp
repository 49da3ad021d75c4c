#include "appkit/DetachedLaunch.h"

#include "foundation/ChildProcess.h"

Outcome<> LaunchDetached(const std::vector<std::string>& argv) {
    Outcome<pid_t> launched = ChildProcess::LaunchDetached(argv);
    if (!launched) {
        return launched.failure();
    }
    return {};
}
