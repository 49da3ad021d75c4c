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

Outcome<> AtomicFile::Write(const std::string& path, std::string_view bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        return Failure{"cannot create the folder " + folder, error ? error.message() : "", error};
    }

    Outcome<StagedFile> file = StagedFile::CreateBeside(path);
    if (!file) {
        return file.failure();
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
    return done;
}
