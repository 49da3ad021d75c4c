#include "appkit/ActionSender.h"

#include "runtime/Runtime.h"

void ActionSender::setAction(SEL action) {
    if (action != m_action) {
        m_action = action;
        ActionStateChanged();
    }
}

void ActionSender::setTarget(id target) {
    if (target != m_target) {
        m_target = target;
        ActionStateChanged();
    }
}

void ActionSender::setEnabled(bool enabled) {
    if (enabled != m_enabled) {
        m_enabled = enabled;
        ActionStateChanged();
    }
}

void ActionSender::DescribeAction(nlohmann::json& description) const {
    description["enabled"] = m_enabled;
    description["action"] =
        m_action == nullptr ? nlohmann::json() : nlohmann::json(NSStringFromSelector(m_action));
    description["target"] = m_target == nullptr
                                ? nlohmann::json()
                                : nlohmann::json(NSStringFromClass(object_getClass(m_target)));
}
