#include "ScriptedTestPage.h"

void ScriptedTestPage::DefineFunction(const std::string& name, std::string answer) {
    m_functions[name] = std::move(answer);
}

std::optional<std::string> ScriptedTestPage::CallFunction(const std::string& name,
                                                          const std::vector<std::string>& args) {
    m_calls.push_back({name, args});
    auto found = m_functions.find(name);
    if (found == m_functions.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool ScriptedTestPage::CallNative(const std::string& exposedKey, const std::string& pageName,
                                  const std::vector<std::string>& args) {
    // Held across the call: the native side may replace this page while it runs.
    Ref<WebScriptObject> bridge = m_bridge;
    return bridge && bridge->CallNative(exposedKey, pageName, args);
}

std::optional<WebScriptValue> ScriptedTestPage::GetProperty(const std::string& exposedKey,
                                                            const std::string& key) {
    Ref<WebScriptObject> bridge = m_bridge;
    return bridge ? bridge->GetProperty(exposedKey, key) : std::nullopt;
}

bool ScriptedTestPage::SetProperty(const std::string& exposedKey, const std::string& key,
                                   const WebScriptValue& value) {
    Ref<WebScriptObject> bridge = m_bridge;
    return bridge && bridge->SetProperty(exposedKey, key, value);
}
