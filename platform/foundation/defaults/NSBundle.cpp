#include "foundation/defaults/NSBundle.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "foundation/BoundedJson.h"
#include "foundation/Log.h"
#include "foundation/PathString.h"
#include "foundation/defaults/FileBytes.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/ObjcClass.h"

namespace {

// A bundle's Info.json is a few flat keys; the limits keep a crafted one from costing more.
constexpr JsonLimits kInfoLimits{size_t{1024} * 1024, 32};

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

Ref<NSBundle>& MainBundleSlot() {
    static Ref<NSBundle> main;
    return main;
}

// Bundles that classes were registered from: they live as long as their classes, i.e. the
// process. bundleForClass answers only bundles found here, so a stray `bundle` pointer is never
// taken for a bundle.
std::vector<Ref<NSBundle>>& ClassBundles() {
    static std::vector<Ref<NSBundle>> bundles;
    return bundles;
}

// One path component that stays where it is put: no separators, no "." or "..".
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

void LogBadInfo(const std::string& file, const std::string& reason) {
    std::string line("NSBundle: ");
    line += file;
    line += ": ";
    line += reason;
    line += "; not a bundle";
    NSLog(line);
}

} // namespace

NSBundle::NSBundle() : NSObject(ClassObject()) {
}

NSBundle::NSBundle(std::string path, nlohmann::json info)
    : NSObject(ClassObject()), m_path(std::move(path)), m_info(std::move(info)) {
}

Class NSBundle::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSBundle>("NSBundle", NSObject::RootClass());
    return cls;
}

Ref<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        return nullptr;
    }
    const std::string infoPath = stringByAppendingPathComponent(folder, "Info.json");
    Outcome<std::string> bytes = ReadFileBytes(infoPath, kInfoLimits.mostBytes);
    if (!bytes) {
        if (bytes.failure().is(std::errc::file_too_large)) {
            LogBadInfo(infoPath, LargerThan(kInfoLimits.mostBytes));
        } else if (!bytes.failure().is(std::errc::no_such_file_or_directory)) {
            LogBadInfo(infoPath, bytes.failure().why);
        }
        return nullptr;
    }
    Outcome<nlohmann::json> info = ParseBoundedJson(bytes.value(), kInfoLimits, infoPath);
    if (!info) {
        LogBadInfo(infoPath, info.failure().why);
        return nullptr;
    }
    if (!info.value().is_object()) {
        LogBadInfo(infoPath, "not a JSON object");
        return nullptr;
    }
    return Ref<NSBundle>::Adopt(new NSBundle(std::move(folder), std::move(info).value()));
}

Ref<NSBundle> NSBundle::bundleWithIdentifier(std::string identifier) {
    nlohmann::json info = nlohmann::json::object();
    info["CFBundleIdentifier"] = std::move(identifier);
    return Ref<NSBundle>::Adopt(new NSBundle(std::string(), std::move(info)));
}

NSBundle* NSBundle::mainBundle() {
    const std::lock_guard lock(RegistryMutex());
    return MainBundleSlot().get();
}

void NSBundle::setMainBundle(Ref<NSBundle> bundle) {
    const std::lock_guard lock(RegistryMutex());
    MainBundleSlot() = std::move(bundle);
}

NSBundle* NSBundle::bundleForClass(Class cls) {
    const std::lock_guard lock(RegistryMutex());
    if (cls != nullptr && cls->bundle != nullptr) {
        for (const Ref<NSBundle>& bundle : ClassBundles()) {
            if (bundle.get() == cls->bundle) {
                return bundle.get();
            }
        }
    }
    return MainBundleSlot().get();
}

void NSBundle::registerClass(Class cls) {
    if (cls == nullptr) {
        return;
    }
    const std::lock_guard lock(RegistryMutex());
    std::vector<Ref<NSBundle>>& bundles = ClassBundles();
    if (std::none_of(bundles.begin(), bundles.end(),
                     [this](const Ref<NSBundle>& b) { return b.get() == this; })) {
        bundles.emplace_back(this);
    }
    cls->bundle = this;
}

std::string NSBundle::bundleIdentifier() const {
    return objectForInfoDictionaryKey("CFBundleIdentifier");
}

std::string NSBundle::objectForInfoDictionaryKey(const std::string& key) const {
    const auto found = m_info.find(key);
    return found != m_info.end() && found->is_string() ? found->get<std::string>() : "";
}

std::string NSBundle::localizedInfoDictionaryValue(const std::string& key) {
    const StringsFile::Table& localized = Table("InfoPlist");
    const auto found = localized.find(key);
    return found != localized.end() ? found->second : objectForInfoDictionaryKey(key);
}

std::string NSBundle::pathForResource(const std::string& name, const std::string& type) const {
    if (m_path.empty() || !IsPlainName(name) || (!type.empty() && !IsPlainName(type))) {
        return "";
    }
    std::string file = name;
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    std::string path = stringByAppendingPathComponent(m_path, "Resources");
    path = stringByAppendingPathComponent(path, file);
    std::error_code error;
    return std::filesystem::exists(path, error) ? path : "";
}

std::string NSBundle::localizedStringForKey(const std::string& key, const std::string& value,
                                            const std::string& table) {
    const StringsFile::Table& strings = Table(table.empty() ? "Localizable" : table);
    const auto found = strings.find(key);
    if (found != strings.end()) {
        return found->second;
    }
    return value.empty() ? key : value;
}

const StringsFile::Table& NSBundle::Table(const std::string& name) {
    const std::lock_guard lock(m_tablesMutex);
    const auto cached = m_tables.find(name);
    if (cached != m_tables.end()) {
        return cached->second;
    }
    StringsFile::Table entries;
    const std::string path = pathForResource(name, "strings");
    if (!path.empty()) {
        if (std::optional<StringsFile> file = StringsFile::Load(path)) {
            entries = file->entries();
        }
    }
    // std::map nodes stay put, so the reference outlives later insertions.
    return m_tables.emplace(name, std::move(entries)).first->second;
}
