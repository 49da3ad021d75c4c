#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "appkit/ActionSender.h"
#include "appkit/NSView.h"
#include "appkit/UserDefaultsBinding.h"

enum class NSButtonType {
    MomentaryPushIn, // a push button: a click only sends the action
    Switch,          // a check box: a click toggles the state
    Radio,           // a radio button: a click turns it on
};

inline constexpr int64_t NSOffState = 0;
inline constexpr int64_t NSOnState = 1;

// A button: a title, a tool tip, and an action sent to its target when clicked. Check boxes and
// radio buttons also have a state, which a click changes before the action goes out, so the
// action reads the new state. A check box's state can be bound ("value") to user defaults.
class NSButton : public NSView, public ActionSender, public UserDefaultsBindable {
public:
    NSButton();
    static Class ClassObject();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string toolTip);

    NSButtonType buttonType() const { return m_buttonType; }
    void setButtonType(NSButtonType type);
    int64_t state() const { return m_state; }
    // Any value other than off is on: there is no mixed state here.
    void setState(int64_t state);

    // "value" only, for a check box or radio button; off unless the stored value is on.
    bool bindToUserDefaults(const std::string& binding, const std::string& key) override;

    NSObject* senderObject() override { return this; }
    void clickWillSendAction() override;

    nlohmann::json DescribeState() const override;

private:
    void ActionStateChanged() override { Changed(); }
    std::string m_title;
    std::string m_toolTip;
    NSButtonType m_buttonType = NSButtonType::MomentaryPushIn;
    int64_t m_state = NSOffState;
    std::optional<UserDefaultsBinding> m_valueBinding;
};

// "push", "switch" or "radio", as interface files and descriptions name the types.
const char* NSButtonTypeName(NSButtonType type);
std::optional<NSButtonType> NSButtonTypeFromName(const std::string& name);
