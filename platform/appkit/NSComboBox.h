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

    // One enabled state, the action sender's, for typing and choosing alike.
    bool isEnabled() const override { return ActionSender::isEnabled(); }
    void setEnabled(bool enabled) override { ActionSender::setEnabled(enabled); }

    NSObject* senderObject() override { return this; }

    nlohmann::json DescribeState() const override;

private:
    void ActionStateChanged() override { Changed(); }
    std::vector<std::string> m_items;
};
