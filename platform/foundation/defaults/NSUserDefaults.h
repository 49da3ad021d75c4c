#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/defaults/AtomicFile.h"
#include "runtime/NSObject.h"

// A defaults domain: JSON values by key, kept in `$XDG_CONFIG_HOME/swfharvex/<domain>.json`
// (`~/.config` when XDG_CONFIG_HOME is unset, empty or relative). Changes stay in memory until
// synchronize, which writes the whole domain atomically. A file that cannot be read or is not a
// JSON object is renamed aside and the domain starts empty, so nothing it held is lost.
class NSUserDefaults : public NSObject {
public:
    NSUserDefaults();
    static Class ClassObject();

    // The main bundle's domain, read once and kept; null without a main bundle or identifier.
    static NSUserDefaults* standardUserDefaults();
    // Forgets the kept instance, so the next standardUserDefaults reads the file afresh.
    static void resetStandardUserDefaults();
    // Null (and logged) for a domain name that cannot be a file name.
    static Ref<NSUserDefaults> userDefaultsForDomain(const std::string& domain);
    // The folder that holds every domain's file.
    static std::string defaultsFolder();
    static void setFailpointForTesting(AtomicFile::Failpoint failpoint);

    const std::string& filePath() const { return m_path; }

    std::optional<nlohmann::json> objectForKey(const std::string& key) const;
    // Only a JSON object counts as a dictionary.
    std::optional<nlohmann::json> dictionaryForKey(const std::string& key) const;
    // A null value removes the key, as setting nil does on the original platform.
    void setObject(const nlohmann::json& value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Numbers (truncated, clamped to the 64-bit range), booleans (0/1) and numeric strings
    // ("42", " -7px" read as -7); 0 otherwise.
    int64_t integerForKey(const std::string& key) const;
    // Numbers other than 0, and strings starting with Y, y, T, t or a non-zero digit; false
    // otherwise.
    bool boolForKey(const std::string& key) const;
    void setInteger(int64_t value, const std::string& key);
    void setBool(bool value, const std::string& key);

    // Writes the whole domain. False (logged, the old file intact) when it cannot.
    bool synchronize();

private:
    NSUserDefaults(std::string domain, std::string path);
    void Load();
    // Moves the unusable file out of the way; false when it stays where it is.
    bool SetAside(const std::string& why);

    std::string m_domain;
    std::string m_path;
    nlohmann::json m_values = nlohmann::json::object();
    // Set when an unusable file could not be moved aside: writing would destroy it.
    bool m_writeBlocked = false;
};
