#include "companion/Companion.h"

#include "foundation/FileManager.h"
#include "foundation/defaults/NSBundle.h"

namespace {

constexpr const char* kStringTable = "LocalStrings";
constexpr const char* kPathKey = "Menu : DissectaApp Path";
constexpr const char* kVersionKey = "Menu : Version";
// The version text sits at these characters of the companion's version string.
constexpr size_t kVersionAt = 8;
constexpr size_t kVersionLength = 3;

} // namespace

std::string LocalString(NSBundle* bundle, const std::string& key) {
    return bundle == nullptr ? key : bundle->localizedStringForKey(key, "", kStringTable);
}

std::string DissectaAppPath(NSBundle* bundle) {
    std::string path = LocalString(bundle, kPathKey);
    if (path.empty() || path == kPathKey) {
        return dissectaAppPath;
    }
    // The companion installs per user, so the table may name a place in the home folder.
    if (path.starts_with("~/")) {
        return NSHomeDirectory() + path.substr(1);
    }
    return path;
}

bool isInstallDissecta(NSBundle* bundle) {
    return FileManager::defaultManager().fileExistsAtPath(DissectaAppPath(bundle));
}

bool IsCurrentDissecta(NSBundle* bundle) {
    Ref<NSBundle> app = NSBundle::bundleWithPath(DissectaAppPath(bundle));
    std::string version = app ? app->objectForInfoDictionaryKey("CFBundleShortVersionString") : "";
    if (version.empty()) {
        return true;
    }
    if (version.size() < kVersionAt + kVersionLength) {
        return false;
    }
    return version.compare(kVersionAt, kVersionLength, LocalString(bundle, kVersionKey)) == 0;
}
