#pragma once

#include <map>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/defaults/StringsFile.h"
#include "runtime/NSObject.h"

// A bundle: a folder holding `Info.json` (a JSON object: identifier, version, copyright and
// whatever else) and `Resources/` (resources by name and type, `.strings` string tables). The
// host's own bundle may exist with an identifier only.
class NSBundle : public NSObject {
public:
    NSBundle();
    static Class ClassObject();

    // Null when the folder or its Info.json is missing, or Info.json is not a JSON object (that
    // last case is logged).
    static Ref<NSBundle> bundleWithPath(const std::string& path);
    // A bundle with no folder: it only answers its identifier. The host's main bundle is one.
    static Ref<NSBundle> bundleWithIdentifier(std::string identifier);

    // The host's bundle; null until the host sets it.
    static NSBundle* mainBundle();
    static void setMainBundle(Ref<NSBundle> bundle);
    // The bundle that registered the class, else the main bundle.
    static NSBundle* bundleForClass(Class cls);
    // Records this bundle as the class's origin (kept alive as long as the process runs).
    void registerClass(Class cls);

    // Empty for a bundle without a folder.
    const std::string& bundlePath() const { return m_path; }
    // "" when Info.json has no identifier.
    std::string bundleIdentifier() const;
    // Info.json's string value for the key; "" when absent or not a string.
    std::string objectForInfoDictionaryKey(const std::string& key) const;
    // As objectForInfoDictionaryKey, with Resources/InfoPlist.strings taking precedence.
    std::string localizedInfoDictionaryValue(const std::string& key);

    // "<bundle>/Resources/<name>.<type>" (no ".<type>" for an empty type) when that file
    // exists, else "". Names that would leave Resources/ answer "".
    std::string pathForResource(const std::string& name, const std::string& type) const;
    // The key's text in Resources/<table>.strings ("Localizable" for an empty table name); a
    // missing key answers `value` when that is non-empty, else the key itself.
    std::string localizedStringForKey(const std::string& key, const std::string& value,
                                      const std::string& table);

private:
    NSBundle(std::string path, nlohmann::json info);
    // The table, read on first use and kept; a missing table is an empty one.
    const StringsFile::Table& Table(const std::string& name);

    std::string m_path;
    nlohmann::json m_info = nlohmann::json::object();
    std::mutex m_tablesMutex;
    std::map<std::string, StringsFile::Table> m_tables;
};
