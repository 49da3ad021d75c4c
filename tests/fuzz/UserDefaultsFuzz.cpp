// Feeds arbitrary bytes to the defaults reader as a domain's settings file, reads and changes
// values the way the plug-in does, and writes the domain back. Everything happens in a folder
// of the run's own: HOME and XDG_CONFIG_HOME point there, never at the real home.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/defaults/NSUserDefaults.h"

namespace fs = std::filesystem;

namespace {

fs::path& Folder() {
    static fs::path folder;
    return folder;
}

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    std::string pattern = (fs::temp_directory_path() / "hvx-defaults-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        __builtin_trap();
    }
    Folder() = pattern;
    setenv("HOME", pattern.c_str(), 1);
    setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path settings = Folder() / "swfharvex";
    fs::create_directories(settings);
    std::ofstream(settings / "fuzz.json", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    Ref<NSUserDefaults> defaults = NSUserDefaults::userDefaultsForDomain("fuzz");
    for (const char* key : {"SavePath", "SaveMatrix", "AutoOpen", "", "fuzz"}) {
        (void)defaults->objectForKey(key);
        (void)defaults->dictionaryForKey(key);
        (void)defaults->integerForKey(key);
        (void)defaults->boolForKey(key);
    }
    defaults->setInteger(7, "SaveMatrix");
    defaults->setObject(nlohmann::json::array({"/tmp"}), "SavePath");
    if (!defaults->synchronize()) {
        __builtin_trap(); // the folder is writable: a write that fails is a fault
    }
    // Set-aside files and the written domain go, so every input starts from the same folder.
    std::error_code ignored;
    fs::remove_all(settings, ignored);
    return 0;
}
