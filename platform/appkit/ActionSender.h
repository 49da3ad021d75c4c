#pragma once

#include "runtime/NSObject.h"
#include "runtime/Selector.h"

// Anything a click sends an action from (menu items now, controls later): the action's
// selector and its target. The target is not retained: it is the object that owns the
// interface (usually the owner of an interface file), which outlives what it shows.
class ActionSender {
public:
    virtual id target() const = 0;
    virtual void setTarget(id target) = 0;
    virtual SEL action() const = 0;
    virtual void setAction(SEL action) = 0;
    virtual bool isEnabled() const = 0;
    // The runtime object that travels as the action's sender.
    virtual NSObject* senderObject() = 0;

protected:
    // Not deleted through this interface: the runtime object's reference count owns it.
    virtual ~ActionSender() = default;
    ActionSender() = default;
    ActionSender(const ActionSender&) = default;
    ActionSender& operator=(const ActionSender&) = default;
};
