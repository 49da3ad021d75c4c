#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/defaults/NSUserDefaults.h"
#include "runtime/NSObject.h"

// The plug-in's single store of settings. Most settings live in one dictionary (texts and a list
// of texts) that is written whole under one key of the host's user defaults; two integer choices
// are separate top-level keys. Changes stay in memory until SaveUserPreference.
class PreferenceData : public NSObject {
public:
    PreferenceData();
    static Class ClassObject();

    // The single store, made and initialised on first use.
    static PreferenceData* sharedPreferenceData();
    // Drops the single store, so the next sharedPreferenceData starts afresh.
    static void ResetForTesting();

    // Loads the stored settings, or the defaults when there are none; usable either way.
    PreferenceData* init();
    // False when there are no user defaults or they hold no settings dictionary.
    bool LoadUserPreference();
    // The defaults, in memory only.
    bool CreateUserPreference();
    // Writes the whole dictionary; logs when there is nowhere to write or the write fails.
    void SaveUserPreference();

    // The value for type codes 0, 1 and 2; null for any other code or a missing key.
    std::optional<nlohmann::json> GetPreferenceItem(const std::string& key, int type) const;
    // Ignores a null value or an empty key. Does not save.
    void SetPreferenceItem(const nlohmann::json& value, const std::string& key);
    void SetPreferenceItemAndSave(const nlohmann::json& value, const std::string& key);

    // Top-level user-defaults values; 0 / false without user defaults or the key.
    int64_t GetIndexKeyOnUserDefaults(const std::string& key) const;
    bool GetBoolKeyOnUserDefaults(const std::string& key) const;
    // Writes a top-level integer and the defaults at once; logs when there is nowhere to write
    // or the write fails.
    void SetIndexKeyOnUserDefaults(const std::string& key, int64_t value);

private:
    // Retained: resetting the standard defaults must not leave the store pointing at nothing.
    Ref<NSUserDefaults> m_UserDefaults;
    std::optional<nlohmann::json> m_PreferenceItemDic;

    static Ref<PreferenceData> _sharedPreferenceData;
};
