#include "appkit/UserDefaultsBinding.h"

#include "foundation/Log.h"
#include "foundation/defaults/NSUserDefaults.h"

UserDefaultsBinding::UserDefaultsBinding(std::string binding, std::string key)
    : m_binding(std::move(binding)), m_key(std::move(key)) {
}

bool UserDefaultsBinding::Inert() const {
    if (NSUserDefaults::standardUserDefaults() != nullptr) {
        return false;
    }
    if (!m_toldInert) {
        m_toldInert = true;
        NSLog("binding '" + m_binding + "' to user defaults key '" + m_key +
              "' does nothing: there are no standard user defaults");
    }
    return true;
}

std::optional<int64_t> UserDefaultsBinding::restoredValue(int64_t whenAbsent) const {
    if (Inert()) {
        return std::nullopt;
    }
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    if (!defaults->objectForKey(m_key)) {
        return whenAbsent;
    }
    return defaults->integerForKey(m_key);
}

bool UserDefaultsBinding::store(int64_t value) const {
    if (Inert()) {
        return false;
    }
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    defaults->setInteger(value, m_key);
    return defaults->synchronize();
}

nlohmann::json DescribeBinding(const std::optional<UserDefaultsBinding>& binding) {
    nlohmann::json bindings = nlohmann::json::object();
    if (binding) {
        bindings[binding->binding()] = binding->key();
    }
    return bindings;
}
