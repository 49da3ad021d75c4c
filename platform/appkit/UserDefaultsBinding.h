#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// Ties one property of a control (its "binding", as "selectedIndex") to an integer kept under
// a key of the standard user defaults. Without standard user defaults (no main bundle) the
// binding does nothing, and says so once.
class UserDefaultsBinding {
public:
    UserDefaultsBinding(std::string binding, std::string key);

    const std::string& binding() const { return m_binding; }
    const std::string& key() const { return m_key; }

    // The integer a control shows on load: the stored one, or `whenAbsent` when the key is not
    // stored; none without user defaults, and the control keeps what it has.
    std::optional<int64_t> restoredValue(int64_t whenAbsent) const;
    // Stores and writes the defaults at once, so the value is on disk before anyone acts on it.
    // False when there are no user defaults or they could not be written (logged).
    bool store(int64_t value) const;

private:
    bool Inert() const;

    std::string m_binding;
    std::string m_key;
    mutable bool m_toldInert = false;
};

// What a control can be bound by, in interface files and in code.
class UserDefaultsBindable {
public:
    // Binds (replacing an earlier binding of that name) and takes the stored value at once.
    // False, binding nothing, for a binding this control does not have.
    virtual bool bindToUserDefaults(const std::string& binding, const std::string& key) = 0;

protected:
    virtual ~UserDefaultsBindable() = default;
    UserDefaultsBindable() = default;
    UserDefaultsBindable(const UserDefaultsBindable&) = default;
    UserDefaultsBindable& operator=(const UserDefaultsBindable&) = default;
};

// {"binding name": "key"}, empty without a binding.
nlohmann::json DescribeBinding(const std::optional<UserDefaultsBinding>& binding);
