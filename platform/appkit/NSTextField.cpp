#include "appkit/NSTextField.h"

#include "appkit/NSApplication.h"
#include "appkit/NSWorkspace.h"
#include "foundation/Log.h"
#include "foundation/objects/NSNotification.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

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
    if (value != m_stringValue || m_styled) {
        m_stringValue = std::move(value);
        m_styled.reset();
        Changed();
    }
}

void NSTextField::setAttributedStringValue(const Ref<NSMutableAttributedString>& value) {
    if (!value) {
        setStringValue({});
        return;
    }
    // A copy: the caller may go on changing its string, which must not change the field behind
    // its observers' backs.
    m_styled = value->mutableCopy();
    m_stringValue = m_styled->string();
    Changed();
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

void NSTextField::setSelectable(bool selectable) {
    if (selectable != m_selectable) {
        m_selectable = selectable;
        Changed();
    }
}

void NSTextField::setAllowsEditingTextAttributes(bool allows) {
    if (allows != m_allowsEditingTextAttributes) {
        m_allowsEditingTextAttributes = allows;
        Changed();
    }
}

void NSTextField::setEnabled(bool enabled) {
    if (enabled != m_enabled) {
        m_enabled = enabled;
        Changed();
    }
}

void NSTextField::setDelegate(id delegate) {
    if (delegate != m_delegate) {
        m_delegate = delegate;
        Changed();
    }
}

bool NSTextField::userEditedText(std::string text) {
    if (!isEditable() || !isEnabled()) {
        return false;
    }
    // The delegate may drop the last reference to the field while it answers.
    Ref<NSTextField> keepAlive(this);
    setStringValue(std::move(text));
    SEL didChange = sel_registerName("controlTextDidChange:");
    if (m_delegate != nullptr && respondsToSelector(m_delegate, didChange)) {
        Ref<NSNotification> notification =
            MakeRef<NSNotification>(NSControlTextDidChangeNotification, Ref<NSObject>(this));
        try {
            objc_msgSend(m_delegate, didChange, static_cast<id>(notification.get()));
        } catch (const MessageSendError& error) {
            NSLog(std::string("NSTextField controlTextDidChange: ").append(error.what()));
        }
    }
    return true;
}

bool NSTextField::clickLink(size_t runIndex) {
    if (!isEnabled() || !m_selectable || !m_allowsEditingTextAttributes || !m_styled) {
        return false;
    }
    std::vector<AttributeRun> runs = m_styled->runs();
    if (runIndex >= runs.size()) {
        return false;
    }
    auto link = runs[runIndex].attributes.find(NSLinkAttributeName);
    if (link == runs[runIndex].attributes.end()) {
        return false;
    }
    const auto* url = std::get_if<std::string>(&link->second);
    if (url == nullptr) {
        return false;
    }
    NSApp().beginEvent(NSEventType::LeftMouseUp);
    Outcome<> opened = NSWorkspace::sharedWorkspace().openURL(*url);
    if (!opened) {
        NSLog("NSTextField: cannot open the link: " + opened.failure().message());
    }
    return opened.ok();
}

nlohmann::json NSTextField::DescribeState() const {
    nlohmann::json description = DescribeView();
    description["stringValue"] = m_stringValue;
    description["attributedStringValue"] = m_styled ? m_styled->Describe() : nlohmann::json();
    description["textColor"] = m_textColor->Describe();
    description["toolTip"] = m_toolTip;
    description["editable"] = m_editable;
    description["selectable"] = m_selectable;
    description["allowsEditingTextAttributes"] = m_allowsEditingTextAttributes;
    description["enabled"] = isEnabled();
    description["delegate"] = m_delegate == nullptr
                                  ? nlohmann::json()
                                  : nlohmann::json(NSStringFromClass(object_getClass(m_delegate)));
    return description;
}
