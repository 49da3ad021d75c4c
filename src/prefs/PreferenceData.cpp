#include "prefs/PreferenceData.h"

#include "foundation/FileManager.h"
#include "foundation/JsonShape.h"
#include "foundation/Log.h"
#include "foundation/PathString.h"
#include "foundation/objects/RuntimeClass.h"
#include "prefs/PreferenceKeys.h"
#include "runtime/MemberMethod.h"

namespace {

using nlohmann::json;

std::string DesktopFolder() {
    return stringByAppendingPathComponent(NSHomeDirectory(), "Desktop");
}

// The stored value when it has the shape its readers expect, else the default: a hand-edited or
// foreign value must not reach code that takes a path for a text or the history for a list.
json StoredOrDefault(const json& stored, const char* key, bool isList, json fallback) {
    const auto found = stored.find(key);
    if (found != stored.end() && (isList ? IsArrayOfStrings(*found) : found->is_string())) {
        return *found;
    }
    return fallback;
}

} // namespace

Ref<PreferenceData> PreferenceData::_sharedPreferenceData;

PreferenceData::PreferenceData() : NSObject(ClassObject()) {
}

Class PreferenceData::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<PreferenceData>("PreferenceData", NSObject::RootClass());
        // The host reaches the store by name, to write it before the process ends.
        DefineMethod<&PreferenceData::sharedPreferenceData>(object_getClass(made),
                                                            "sharedPreferenceData");
        DefineMethod<&PreferenceData::SaveUserPreference>(made, "SaveUserPreference");
        return made;
    }();
    return cls;
}

PreferenceData* PreferenceData::sharedPreferenceData() {
    if (!_sharedPreferenceData) {
        _sharedPreferenceData = MakeRef<PreferenceData>();
        _sharedPreferenceData->init();
    }
    return _sharedPreferenceData.get();
}

void PreferenceData::ResetForTesting() {
    _sharedPreferenceData.reset();
}

PreferenceData* PreferenceData::init() {
    m_UserDefaults.reset();
    m_PreferenceItemDic.reset();
    if (!LoadUserPreference()) {
        CreateUserPreference();
    }
    return this;
}

bool PreferenceData::LoadUserPreference() {
    if (!m_UserDefaults) {
        m_UserDefaults = NSUserDefaults::standardUserDefaults();
        if (!m_UserDefaults || !m_UserDefaults->dictionaryForKey(PreferenceKeys::kPreferences)) {
            return false;
        }
    }
    if (!m_PreferenceItemDic) {
        m_PreferenceItemDic = json::object();
    }
    const json stored =
        m_UserDefaults->dictionaryForKey(PreferenceKeys::kPreferences).value_or(json::object());
    json& items = *m_PreferenceItemDic;
    items[PreferenceKeys::kSavePrefePath] =
        StoredOrDefault(stored, PreferenceKeys::kSavePrefePath, false, DesktopFolder());
    items[PreferenceKeys::kSaveComboxPath] =
        StoredOrDefault(stored, PreferenceKeys::kSaveComboxPath, false, DesktopFolder());
    items[PreferenceKeys::kSavePathArray] =
        StoredOrDefault(stored, PreferenceKeys::kSavePathArray, true, json::array());
    const auto autoOpen = stored.find(PreferenceKeys::kAutoOpen);
    if (autoOpen != stored.end() && autoOpen->is_boolean()) {
        // A yes/no written by another tool keeps its meaning in the text form readers compare.
        items[PreferenceKeys::kAutoOpen] =
            autoOpen->get<bool>() ? PreferenceKeys::kTrue : PreferenceKeys::kFalse;
    } else {
        items[PreferenceKeys::kAutoOpen] =
            StoredOrDefault(stored, PreferenceKeys::kAutoOpen, false, PreferenceKeys::kTrue);
    }
    return true;
}

bool PreferenceData::CreateUserPreference() {
    if (!m_PreferenceItemDic) {
        m_PreferenceItemDic = json::object();
    }
    json& items = *m_PreferenceItemDic;
    items[PreferenceKeys::kSavePrefePath] = DesktopFolder();
    items[PreferenceKeys::kSaveComboxPath] = DesktopFolder();
    items[PreferenceKeys::kSavePathArray] = json::array();
    items[PreferenceKeys::kAutoOpen] = PreferenceKeys::kTrue;
    return true;
}

void PreferenceData::SaveUserPreference() {
    if (!m_UserDefaults || !m_PreferenceItemDic) {
        NSLog("Save User Preference data error!");
        return;
    }
    m_UserDefaults->removeObjectForKey(PreferenceKeys::kPreferences);
    m_UserDefaults->setObject(*m_PreferenceItemDic, PreferenceKeys::kPreferences);
    if (!m_UserDefaults->synchronize()) {
        // The defaults said why; this says whose settings did not reach the disk.
        NSLog("Save User Preference data error!");
    }
}

std::optional<nlohmann::json> PreferenceData::GetPreferenceItem(const std::string& key,
                                                                int type) const {
    if (type < 0 || type > 2 || !m_PreferenceItemDic) {
        return std::nullopt;
    }
    const auto found = m_PreferenceItemDic->find(key);
    if (found == m_PreferenceItemDic->end()) {
        return std::nullopt;
    }
    return *found;
}

void PreferenceData::SetPreferenceItem(const nlohmann::json& value, const std::string& key) {
    if (value.is_null() || key.empty() || !m_PreferenceItemDic) {
        return;
    }
    (*m_PreferenceItemDic)[key] = value;
}

void PreferenceData::SetPreferenceItemAndSave(const nlohmann::json& value, const std::string& key) {
    SetPreferenceItem(value, key);
    SaveUserPreference();
}

int64_t PreferenceData::GetIndexKeyOnUserDefaults(const std::string& key) const {
    return m_UserDefaults ? m_UserDefaults->integerForKey(key) : 0;
}

bool PreferenceData::GetBoolKeyOnUserDefaults(const std::string& key) const {
    return m_UserDefaults && m_UserDefaults->boolForKey(key);
}

void PreferenceData::SetIndexKeyOnUserDefaults(const std::string& key, int64_t value) {
    if (!m_UserDefaults) {
        NSLog("Save User Preference data error!");
        return;
    }
    m_UserDefaults->setInteger(value, key);
    if (!m_UserDefaults->synchronize()) {
        NSLog("Save User Preference data error!");
    }
}
