#include "foundation/defaults/AtomicFile.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "foundation/StagedFile.h"

namespace {

std::atomic<AtomicFile::Failpoint> g_failpoint{AtomicFile::Failpoint::None};

} // namespace

void AtomicFile::setFailpointForTesting(Failpoint failpoint) {
    g_failpoint.store(failpoint);
}

bool AtomicFile::Write(const std::string& path, std::string_view bytes, std::string& reason) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        reason = "cannot create the folder ";
        reason += folder;
        if (error) {
            reason += ": ";
            reason += error.message();
        }
        return false;
    }

    Outcome<StagedFile> file = StagedFile::CreateBeside(path);
    if (!file) {
        reason = file.failure().message();
        return false;
    }
    Outcome<> done = file.value().Write(bytes);
    if (done) {
        done = file.value().Sync();
    }
    if (done && g_failpoint.load() == Failpoint::KillBeforeRename) {
        std::raise(SIGKILL);
    }
    if (done) {
        done = file.value().Commit(StagedFile::Existing::Replace);
    }
    if (!done) {
        reason = done.failure().message();
        return false;
    }
    return true;
}
