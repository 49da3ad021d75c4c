#include "appkit/NSButton.h"

#include <array>
#include <utility>

#include "foundation/objects/RuntimeClass.h"

namespace {

constexpr std::array<std::pair<NSButtonType, const char*>, 3> kTypeNames{{
    {NSButtonType::MomentaryPushIn, "push"},
    {NSButtonType::Switch, "switch"},
    {NSButtonType::Radio, "radio"},
}};

} // namespace

[[maybe_unused]] static const Class kRegistered = NSButton::ClassObject();

const char* NSButtonTypeName(NSButtonType type) {
    for (const auto& [known, name] : kTypeNames) {
        if (known == type) {
            return name;
        }
    }
    return "push";
}

std::optional<NSButtonType> NSButtonTypeFromName(const std::string& name) {
    for (const auto& [type, known] : kTypeNames) {
        if (name == known) {
            return type;
        }
    }
    return std::nullopt;
}

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

void NSButton::setButtonType(NSButtonType type) {
    if (type != m_buttonType) {
        m_buttonType = type;
        Changed();
    }
}

void NSButton::setState(int64_t state) {
    state = state == NSOffState ? NSOffState : NSOnState;
    if (state != m_state) {
        m_state = state;
        Changed();
    }
}

bool NSButton::bindToUserDefaults(const std::string& binding, const std::string& key) {
    if (binding != "value" || m_buttonType == NSButtonType::MomentaryPushIn) {
        return false;
    }
    m_valueBinding.emplace(binding, key);
    if (std::optional<int64_t> stored = m_valueBinding->restoredValue(NSOffState)) {
        setState(*stored == NSOnState ? NSOnState : NSOffState);
    }
    Changed();
    return true;
}

void NSButton::clickWillSendAction() {
    switch (m_buttonType) {
    case NSButtonType::Switch:
        setState(m_state == NSOnState ? NSOffState : NSOnState);
        break;
    case NSButtonType::Radio:
        setState(NSOnState);
        break;
    case NSButtonType::MomentaryPushIn:
        return;
    }
    if (m_valueBinding) {
        m_valueBinding->store(m_state);
    }
}

nlohmann::json NSButton::DescribeState() const {
    nlohmann::json description = DescribeView();
    description["title"] = m_title;
    description["toolTip"] = m_toolTip;
    description["buttonType"] = NSButtonTypeName(m_buttonType);
    description["state"] = m_state;
    description["bindings"] = DescribeBinding(m_valueBinding);
    DescribeAction(description);
    return description;
}
