#pragma once

#include <string>

#include "appkit/NSAttributedString.h"
#include "appkit/NSColor.h"
#include "appkit/NSView.h"

// A line of text: a label when not editable, an entry field when editable (the default). Its
// text may carry styling (an attributed string value, of which the plain value is the text).
// Links in styled text react to clicks only when the field is selectable and allows editing
// text attributes, as on the original platform. Edits by the user reach the delegate (not
// retained) as controlTextDidChange:.
class NSTextField : public NSView {
public:
    NSTextField();
    static Class ClassObject();

    const std::string& stringValue() const { return m_stringValue; }
    // Drops any styling.
    void setStringValue(std::string value);
    // The field keeps its own copy; null sets an empty plain value.
    void setAttributedStringValue(const Ref<NSMutableAttributedString>& value);
    // Null when the value is plain text.
    const NSMutableAttributedString* attributedStringValue() const { return m_styled.get(); }
    // Never null: black until set; setting null restores black.
    NSColor* textColor() const { return m_textColor.get(); }
    void setTextColor(Ref<NSColor> color);
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string toolTip);
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool selectable);
    bool allowsEditingTextAttributes() const { return m_allowsEditingTextAttributes; }
    void setAllowsEditingTextAttributes(bool allows);
    // Virtual so that a control that also sends actions keeps one enabled state.
    virtual bool isEnabled() const { return m_enabled; }
    virtual void setEnabled(bool enabled);
    id delegate() const { return m_delegate; }
    void setDelegate(id delegate);

    // The user changed the text: refused (false) when the field is not editable or disabled.
    // The value becomes `text` (plain), then the delegate's controlTextDidChange: ("v@:@") gets
    // an NSControlTextDidChangeNotification about this field; a delegate method of another
    // signature is logged and skipped.
    bool userEditedText(std::string text);
    // The user clicked run `runIndex` of the styled value (as Describe lists the runs): its
    // link opens through the workspace. False when nothing opened: the field is disabled, not
    // selectable or does not allow editing text attributes, the run has no link, or the
    // workspace refused it.
    bool clickLink(size_t runIndex);

    nlohmann::json DescribeState() const override;

protected:
    explicit NSTextField(Class isa);

private:
    std::string m_stringValue;
    Ref<NSMutableAttributedString> m_styled;
    Ref<NSColor> m_textColor;
    std::string m_toolTip;
    bool m_editable = true;
    bool m_selectable = true;
    bool m_allowsEditingTextAttributes = false;
    bool m_enabled = true;
    id m_delegate = nullptr;
};

inline constexpr const char* NSControlTextDidChangeNotification =
    "NSControlTextDidChangeNotification";
