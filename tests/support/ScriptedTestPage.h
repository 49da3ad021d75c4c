#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "webkit/WebPageBackend.h"
#include "webkit/WebScriptObject.h"

// An in-process page for tests: it records what the native side asks of it, answers function
// calls from a table, and lets the test act as the page's script through the bridge.
class ScriptedTestPage : public WebPageBackend {
public:
    struct Call {
        std::string name;
        std::vector<std::string> args;
        friend bool operator==(const Call&, const Call&) = default;
    };

    // A function the page defines, with the result it answers; undefined functions answer
    // nothing (but their calls are still recorded).
    void DefineFunction(const std::string& name, std::string answer);

    const std::vector<Call>& calls() const { return m_calls; }
    const std::vector<std::string>& loads() const { return m_loads; }
    bool attached() const { return static_cast<bool>(m_bridge); }

    // The page's script using its globals; refused (false/empty) when detached.
    bool CallNative(const std::string& exposedKey, const std::string& pageName,
                    const std::vector<std::string>& args);
    std::optional<WebScriptValue> GetProperty(const std::string& exposedKey,
                                              const std::string& key);
    bool SetProperty(const std::string& exposedKey, const std::string& key,
                     const WebScriptValue& value);

    void Attach(Ref<WebScriptObject> bridge) override { m_bridge = std::move(bridge); }
    void Load(const std::string& url) override { m_loads.push_back(url); }
    std::optional<std::string> CallFunction(const std::string& name,
                                            const std::vector<std::string>& args) override;

private:
    Ref<WebScriptObject> m_bridge;
    std::map<std::string, std::string> m_functions;
    std::vector<Call> m_calls;
    std::vector<std::string> m_loads;
};
