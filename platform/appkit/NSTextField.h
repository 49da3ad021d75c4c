#pragma once

#include <string>

#include "appkit/NSColor.h"
#include "appkit/NSView.h"

// A line of text: a label when not editable, an entry field when editable (the default).
class NSTextField : public NSView {
public:
    NSTextField();
    static Class ClassObject();

    const std::string& stringValue() const { return m_stringValue; }
    void setStringValue(std::string value);
    // Never null: black until set; setting null restores black.
    NSColor* textColor() const { return m_textColor.get(); }
    void setTextColor(Ref<NSColor> color);
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string toolTip);
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    nlohmann::json Describe() const override;

protected:
    explicit NSTextField(Class isa);

private:
    std::string m_stringValue;
    Ref<NSColor> m_textColor;
    std::string m_toolTip;
    bool m_editable = true;
};
