#include "appkit/NSComboBox.h"

#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSComboBox::ClassObject();

NSComboBox::NSComboBox() : NSTextField(ClassObject()) {
}

Class NSComboBox::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSComboBox>("NSComboBox", NSTextField::ClassObject());
    return cls;
}

void NSComboBox::addItemWithObjectValue(std::string item) {
    m_items.push_back(std::move(item));
    Changed();
}

void NSComboBox::removeAllItems() {
    if (!m_items.empty()) {
        m_items.clear();
        Changed();
    }
}

std::optional<std::string> NSComboBox::itemObjectValueAtIndex(int64_t index) const {
    if (index < 0 || index >= numberOfItems()) {
        return std::nullopt;
    }
    return m_items[static_cast<size_t>(index)];
}

void NSComboBox::reloadData() {
    Changed();
}

void NSComboBox::setAction(SEL action) {
    if (action != m_action) {
        m_action = action;
        Changed();
    }
}

void NSComboBox::setTarget(id target) {
    if (target != m_target) {
        m_target = target;
        Changed();
    }
}

void NSComboBox::setEnabled(bool enabled) {
    if (enabled != m_enabled) {
        m_enabled = enabled;
        Changed();
    }
}

nlohmann::json NSComboBox::Describe() const {
    nlohmann::json description = NSTextField::Describe();
    description["items"] = m_items;
    description["enabled"] = m_enabled;
    description["action"] =
        m_action == nullptr ? nlohmann::json() : nlohmann::json(NSStringFromSelector(m_action));
    description["target"] = m_target == nullptr
                                ? nlohmann::json()
                                : nlohmann::json(NSStringFromClass(object_getClass(m_target)));
    return description;
}
