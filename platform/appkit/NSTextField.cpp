#include "appkit/NSTextField.h"

#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSTextField::ClassObject();

NSTextField::NSTextField() : NSTextField(ClassObject()) {
}

NSTextField::NSTextField(Class isa) : NSView(isa), m_textColor(NSColor::blackColor()) {
}

Class NSTextField::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSTextField>("NSTextField", NSView::ClassObject());
    return cls;
}

void NSTextField::setStringValue(std::string value) {
    if (value != m_stringValue) {
        m_stringValue = std::move(value);
        Changed();
    }
}

void NSTextField::setTextColor(Ref<NSColor> color) {
    if (!color) {
        color = NSColor::blackColor();
    }
    if (!color->isEqual(*m_textColor)) {
        m_textColor = std::move(color);
        Changed();
    }
}

void NSTextField::setToolTip(std::string toolTip) {
    if (toolTip != m_toolTip) {
        m_toolTip = std::move(toolTip);
        Changed();
    }
}

void NSTextField::setEditable(bool editable) {
    if (editable != m_editable) {
        m_editable = editable;
        Changed();
    }
}

nlohmann::json NSTextField::Describe() const {
    nlohmann::json description = DescribeView();
    description["stringValue"] = m_stringValue;
    description["textColor"] = m_textColor->Describe();
    description["toolTip"] = m_toolTip;
    description["editable"] = m_editable;
    return description;
}
