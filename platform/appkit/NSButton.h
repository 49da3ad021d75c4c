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

    NSObject* senderObject() override { return this; }

    nlohmann::json Describe() const override;

private:
    void ActionStateChanged() override { Changed(); }
    std::string m_title;
    std::string m_toolTip;
};
