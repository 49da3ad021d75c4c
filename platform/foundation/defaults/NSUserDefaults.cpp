#include "foundation/defaults/NSUserDefaults.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/BoundedJson.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/PathString.h"
#include "foundation/defaults/FileBytes.h"
#include "foundation/defaults/NSBundle.h"
#include "foundation/objects/RuntimeClass.h"

namespace {

// Far beyond what any setting needs (the deepest is a list inside a dictionary; the files hold
// kilobytes).
constexpr JsonLimits kLimits{size_t{16} * 1024 * 1024, 64};

std::mutex& StandardMutex() {
    static std::mutex mutex;
    return mutex;
}

Ref<NSUserDefaults>& StandardSlot() {
    static Ref<NSUserDefaults> standard;
    return standard;
}

void LogLine(std::string_view subject, std::string_view what) {
    std::string line("NSUserDefaults: ");
    line += subject;
    line += ": ";
    line += what;
    NSLog(line);
}

std::string UtcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &utc);
    return buffer;
}

// The original platform's integerValue of a string: leading blanks, a sign, then digits up to
// the first non-digit; clamped on overflow.
int64_t IntegerFromText(const std::string& text) {
    size_t i = text.find_first_not_of(" \t\n\r\f\v");
    if (i == std::string::npos) {
        return 0;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        return magnitude == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(magnitude);
    }
    return static_cast<int64_t>(magnitude);
}

int64_t IntegerFromDouble(double value) {
    // Out of range (or not a number) would be undefined behaviour to convert.
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9223372036854775807.0) {
        return INT64_MAX;
    }
    if (value <= -9223372036854775808.0) {
        return INT64_MIN;
    }
    return static_cast<int64_t>(value);
}

// The original platform's boolValue of a string.
bool BoolFromText(const std::string& text) {
    size_t i = text.find_first_not_of(" \t\n\r\f\v");
    if (i != std::string::npos && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    while (i != std::string::npos && i < text.size() && text[i] == '0') {
        ++i;
    }
    if (i == std::string::npos || i >= text.size()) {
        return false;
    }
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool IsFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

} // namespace

NSUserDefaults::NSUserDefaults() : NSObject(ClassObject()) {
}

NSUserDefaults::NSUserDefaults(std::string domain, std::string path)
    : NSObject(ClassObject()), m_domain(std::move(domain)), m_path(std::move(path)) {
}

Class NSUserDefaults::ClassObject() {
    static Class cls =
        RegisterRuntimeClass<NSUserDefaults>("NSUserDefaults", NSObject::RootClass());
    return cls;
}

std::string NSUserDefaults::defaultsFolder() {
    // A relative XDG_CONFIG_HOME is invalid and would depend on the working folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config != nullptr && config[0] == '/'
                           ? std::string(config)
                           : stringByAppendingPathComponent(NSHomeDirectory(), ".config");
    return stringByAppendingPathComponent(base, "swfharvex");
}

NSUserDefaults* NSUserDefaults::standardUserDefaults() {
    const std::lock_guard lock(StandardMutex());
    Ref<NSUserDefaults>& standard = StandardSlot();
    if (!standard) {
        const NSBundle* main = NSBundle::mainBundle();
        const std::string domain = main != nullptr ? main->bundleIdentifier() : "";
        if (domain.empty()) {
            return nullptr;
        }
        standard = userDefaultsForDomain(domain);
    }
    return standard.get();
}

void NSUserDefaults::resetStandardUserDefaults() {
    const std::lock_guard lock(StandardMutex());
    StandardSlot().reset();
}

Ref<NSUserDefaults> NSUserDefaults::userDefaultsForDomain(const std::string& domain) {
    if (!IsFileName(domain)) {
        LogLine(domain, "not usable as a defaults domain (it would not name one file)");
        return nullptr;
    }
    std::string file = domain;
    file += ".json";
    Ref<NSUserDefaults> defaults = Ref<NSUserDefaults>::Adopt(
        new NSUserDefaults(domain, stringByAppendingPathComponent(defaultsFolder(), file)));
    defaults->Load();
    return defaults;
}

void NSUserDefaults::setFailpointForTesting(AtomicFile::Failpoint failpoint) {
    AtomicFile::setFailpointForTesting(failpoint);
}

void NSUserDefaults::Load() {
    Outcome<std::string> bytes = ReadFileBytes(m_path, kLimits.mostBytes);
    if (!bytes && bytes.failure().is(std::errc::file_too_large)) {
        SetAside(LargerThan(kLimits.mostBytes));
        return;
    }
    if (!bytes) {
        // Only something that is there can hold settings worth keeping; ENOENT and ENOTDIR
        // both mean there is nothing.
        struct stat info {};
        if (::lstat(m_path.c_str(), &info) == 0) {
            std::string why("cannot be read (");
            why += bytes.failure().why;
            why += ')';
            SetAside(why);
        }
        return;
    }
    Outcome<nlohmann::json> values = ParseBoundedJson(bytes.value(), kLimits, m_path);
    if (!values) {
        SetAside(values.failure().why);
    } else if (!values.value().is_object()) {
        SetAside("does not hold a JSON object");
    } else {
        m_values = std::move(values).value();
    }
}

bool NSUserDefaults::SetAside(const std::string& why) {
    std::string base = m_path;
    base += ".corrupt-";
    base += UtcStamp();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string aside = base;
        if (attempt > 0) {
            aside += '-';
            aside += std::to_string(attempt);
        }
        // link fails rather than replace an earlier set-aside file.
        if (::link(m_path.c_str(), aside.c_str()) == 0) {
            ::unlink(m_path.c_str());
        } else if (errno == EEXIST) {
            continue;
        } else if (FileManager::defaultManager().fileExistsAtPath(aside) ||
                   std::rename(m_path.c_str(), aside.c_str()) != 0) {
            break; // no hard links here, and the name is taken or the rename failed
        }
        std::string what(why);
        what += "; set aside as ";
        what += aside;
        what += ", starting empty";
        LogLine(m_path, what);
        return true;
    }
    std::string what(why);
    what += "; could not set it aside (";
    what += std::strerror(errno);
    what += "), so it will not be overwritten";
    LogLine(m_path, what);
    m_writeBlocked = true;
    return false;
}

std::optional<nlohmann::json> NSUserDefaults::objectForKey(const std::string& key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return *found;
}

std::optional<nlohmann::json> NSUserDefaults::dictionaryForKey(const std::string& key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end() || !found->is_object()) {
        return std::nullopt;
    }
    return *found;
}

void NSUserDefaults::setObject(const nlohmann::json& value, const std::string& key) {
    if (value.is_null()) {
        removeObjectForKey(key);
        return;
    }
    m_values[key] = value;
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    m_values.erase(key);
}

int64_t NSUserDefaults::integerForKey(const std::string& key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return 0;
    }
    if (found->is_number_unsigned()) {
        const auto value = found->get<uint64_t>();
        return value > uint64_t{INT64_MAX} ? INT64_MAX : static_cast<int64_t>(value);
    }
    if (found->is_number_integer()) {
        return found->get<int64_t>();
    }
    if (found->is_number_float()) {
        return IntegerFromDouble(found->get<double>());
    }
    if (found->is_boolean()) {
        return found->get<bool>() ? 1 : 0;
    }
    if (found->is_string()) {
        return IntegerFromText(found->get<std::string>());
    }
    return 0;
}

bool NSUserDefaults::boolForKey(const std::string& key) const {
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return false;
    }
    if (found->is_boolean()) {
        return found->get<bool>();
    }
    if (found->is_number_float()) {
        return found->get<double>() != 0.0;
    }
    if (found->is_number()) {
        return integerForKey(key) != 0;
    }
    if (found->is_string()) {
        return BoolFromText(found->get<std::string>());
    }
    return false;
}

void NSUserDefaults::setInteger(int64_t value, const std::string& key) {
    m_values[key] = value;
}

void NSUserDefaults::setBool(bool value, const std::string& key) {
    m_values[key] = value;
}

bool NSUserDefaults::synchronize() {
    if (m_writeBlocked) {
        LogLine(m_path, "not written: the unreadable file there could not be set aside");
        return false;
    }
    std::string bytes;
    try {
        bytes = m_values.dump(4);
    } catch (const nlohmann::json::exception& error) {
        // Text that is not UTF-8 has no JSON form; writing a mangled copy would lose it too.
        std::string what("not written: ");
        what += error.what();
        LogLine(m_path, what);
        return false;
    }
    bytes += '\n';
    const Outcome<> written = AtomicFile::Write(m_path, bytes);
    if (!written) {
        std::string what("not written: ");
        what += written.failure().message();
        LogLine(m_path, what);
        return false;
    }
    return true;
}
