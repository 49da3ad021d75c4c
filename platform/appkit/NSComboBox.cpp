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

nlohmann::json NSComboBox::DescribeState() const {
    nlohmann::json description = NSTextField::DescribeState();
    description["items"] = m_items;
    DescribeAction(description);
    return description;
}
