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

nlohmann::json NSButton::Describe() const {
    nlohmann::json description = DescribeView();
    description["title"] = m_title;
    description["toolTip"] = m_toolTip;
    DescribeAction(description);
    return description;
}
