#pragma once

#include <string>

#include "appkit/ActionSender.h"
#include "appkit/NSView.h"

// A push button: a title, a tool tip, and an action sent to its target when clicked.
class NSButton : public NSView, public ActionSender {
public:
    NSButton();
    static Class ClassObject();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string toolTip);

    SEL action() const override { return m_action; }
    void setAction(SEL action) override;
    // Not retained (see ActionSender).
    id target() const override { return m_target; }
    void setTarget(id target) override;
    bool isEnabled() const override { return m_enabled; }
    void setEnabled(bool enabled);
    NSObject* senderObject() override { return this; }

    nlohmann::json Describe() const override;

private:
    std::string m_title;
    std::string m_toolTip;
    SEL m_action = nullptr;
    id m_target = nullptr;
    bool m_enabled = true;
};
