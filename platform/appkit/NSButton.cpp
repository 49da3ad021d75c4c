#include "appkit/NSButton.h"

#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSButton::ClassObject();

NSButton::NSButton() : NSView(ClassObject()) {
}

Class NSButton::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSButton>("NSButton", NSView::ClassObject());
    return cls;
}

void NSButton::setTitle(std::string title) {
    if (title != m_title) {
        m_title = std::move(title);
        Changed();
    }
}

void NSButton::setToolTip(std::string toolTip) {
    if (toolTip != m_toolTip) {
        m_toolTip = std::move(toolTip);
        Changed();
    }
}

void NSButton::setAction(SEL action) {
    if (action != m_action) {
        m_action = action;
        Changed();
    }
}

void NSButton::setTarget(id target) {
    if (target != m_target) {
        m_target = target;
        Changed();
    }
}

void NSButton::setEnabled(bool enabled) {
    if (enabled != m_enabled) {
        m_enabled = enabled;
        Changed();
    }
}

nlohmann::json NSButton::Describe() const {
    nlohmann::json description = DescribeView();
    description["title"] = m_title;
    description["toolTip"] = m_toolTip;
    description["enabled"] = m_enabled;
    description["action"] =
        m_action == nullptr ? nlohmann::json() : nlohmann::json(NSStringFromSelector(m_action));
    description["target"] = m_target == nullptr
                                ? nlohmann::json()
                                : nlohmann::json(NSStringFromClass(object_getClass(m_target)));
    return description;
}
