#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "appkit/NSImage.h"
#include "appkit/NSSheet.h"

class NSWindow;

// An alert as a model: its texts, style, icon and buttons, shown as a sheet on a window. The
// first button is the default; a click on button i ends the sheet with
// NSAlertFirstButtonReturn + i.
class NSAlert : public NSSheet {
public:
    static constexpr int64_t NSAlertFirstButtonReturn = 1000;
    static constexpr int64_t NSAlertSecondButtonReturn = 1001;
    static constexpr int64_t NSAlertThirdButtonReturn = 1002;

    static constexpr int64_t NSWarningAlertStyle = 0;
    static constexpr int64_t NSInformationalAlertStyle = 1;
    static constexpr int64_t NSCriticalAlertStyle = 2;

    // The platform's label of the button an alert shown without any gets.
    static constexpr const char* kDefaultButtonTitle = "OK";

    NSAlert();
    static Class ClassObject();

    void addButtonWithTitle(std::string title);
    const std::vector<std::string>& buttonTitles() const { return m_buttons; }

    const std::string& messageText() const { return m_messageText; }
    void setMessageText(std::string text);
    const std::string& informativeText() const { return m_informativeText; }
    void setInformativeText(std::string text);
    int64_t alertStyle() const { return m_alertStyle; }
    void setAlertStyle(int64_t style);
    NSImage* icon() const { return m_icon.get(); }
    void setIcon(Ref<NSImage> icon);

    // Shows the alert on `window`; nothing happens without a window. When a button is clicked
    // the delegate receives `didEndSelector` ("v@:@qq": the alert, the return code,
    // `contextInfo`) through the main run loop. A null delegate or selector: no message.
    void beginSheetModalForWindow(NSWindow* window, id modalDelegate, SEL didEndSelector,
                                  int64_t contextInfo);

    // Where alerts go when no desktop presents the windows (a command line run): each alert's
    // title and message reach `show` when it begins, as well as its window, or when it has no
    // window. An empty function (the default) shows alerts on their windows only.
    using NoDesktopHandler =
        std::function<void(const std::string& title, const std::string& message)>;
    static void SetNoDesktopHandler(NoDesktopHandler show);

    // The presenter's click on a button: the current event, then the end of the sheet. False
    // when the alert is not up or there is no such button.
    bool clickButtonAtIndex(size_t index);

    nlohmann::json DescribeState() const override;

private:
    std::string m_messageText;
    std::string m_informativeText;
    int64_t m_alertStyle = NSWarningAlertStyle;
    Ref<NSImage> m_icon;
    std::vector<std::string> m_buttons;
};

// Shows an alert sheet on `docWindow` (without a window it is only shown where no desktop is). An
// empty default button title means the standard label; empty alternate and other titles mean no
// such button. No end message follows: callers that need an answer use NSAlert with a delegate.
void NSBeginAlertSheet(const std::string& title, const std::string& defaultButton,
                       const std::string& alternateButton, const std::string& otherButton,
                       NSWindow* docWindow, const std::string& message);
