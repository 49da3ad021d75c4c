#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "appkit/ActionSender.h"
#include "appkit/NSTextField.h"

// An editable text field with a drop-down list of items (strings); choosing or typing sends
// the action to the target.
class NSComboBox : public NSTextField, public ActionSender {
public:
    NSComboBox();
    static Class ClassObject();

    void addItemWithObjectValue(std::string item);
    void removeAllItems();
    int64_t numberOfItems() const { return static_cast<int64_t>(m_items.size()); }
    // None outside 0...numberOfItems()-1.
    std::optional<std::string> itemObjectValueAtIndex(int64_t index) const;
    const std::vector<std::string>& items() const { return m_items; }
    // Shows the list again: presenters re-read it when told.
    void reloadData();

    SEL action() const override { return m_action; }
    void setAction(SEL action) override;
    // Not retained (see ActionSender).
    id target() const override { return m_target; }
    void setTarget(id target) override;
    bool isEnabled() const override { return m_enabled; }
    void setEnabled(bool enabled);
    NSObject* senderObject() override { return this; }

    nlohmann::json Describe() const override;

private:
    std::vector<std::string> m_items;
    SEL m_action = nullptr;
    id m_target = nullptr;
    bool m_enabled = true;
};
