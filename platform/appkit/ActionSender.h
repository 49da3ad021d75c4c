#pragma once

#include <nlohmann/json.hpp>

#include "runtime/NSObject.h"
#include "runtime/Selector.h"

// Anything a click sends an action from (menu items, buttons, combo boxes): the action's
// selector, its target and whether it is enabled, kept here once for all of them. The target is
// not retained: it is the object that owns the interface (usually the owner of an interface
// file), which outlives what it shows.
class ActionSender {
public:
    SEL action() const { return m_action; }
    void setAction(SEL action);
    id target() const { return m_target; }
    void setTarget(id target);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // The runtime object that travels as the action's sender.
    virtual NSObject* senderObject() = 0;
    // What a click does to the control itself (a check box's state) once it is the current
    // event and before its action goes out, so the action sees the result.
    virtual void clickWillSendAction() {}

protected:
    // Not deleted through this interface: the runtime object's reference count owns it.
    virtual ~ActionSender() = default;
    ActionSender() = default;
    ActionSender(const ActionSender&) = default;
    ActionSender& operator=(const ActionSender&) = default;

    // Tells the sender's observers that the action, target or enabled state changed.
    virtual void ActionStateChanged() = 0;
    // "enabled", "action" and "target" (the target's class name), null where unset.
    void DescribeAction(nlohmann::json& description) const;

private:
    SEL m_action = nullptr;
    id m_target = nullptr;
    bool m_enabled = true;
};
