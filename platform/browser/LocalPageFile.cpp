#include "browser/LocalPageFile.h"

#include <sys/stat.h>

namespace local_page_file {

std::optional<std::string> WhyNotAPage(const URL& url) {
    if (url.scheme() != "file") {
        return std::nullopt;
    }
    std::optional<std::string> path = URL::PercentDecoded(url.path());
    struct stat status {};
    if (!path || stat(path->c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        return *path + " is a folder";
    }
    const char* kind = S_ISFIFO(status.st_mode)   ? "a FIFO"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                       : S_ISCHR(status.st_mode)  ? "a character device"
                       : S_ISBLK(status.st_mode)  ? "a block device"
                                                  : "a special file";
    return *path + " is not a regular file (" + kind + ")";
}

} // namespace local_page_file
