#pragma once

#include <string>
#include <vector>

#include "runtime/NSObject.h"

class NSWindow;

// An alert as a model: its texts, its buttons (the first is the default) and the window it is
// attached to as a sheet.
class NSAlert : public NSObject {
public:
    // The platform's standard label of a default button given without a title.
    static constexpr const char* kDefaultButtonTitle = "OK";

    NSAlert();
    static Class ClassObject();

    std::string messageText;     // the title
    std::string informativeText; // the message
    std::vector<std::string> buttons;
    int alertStyle = 0; // warning

    NSWindow* window() const { return m_window; }
    void setWindow(NSWindow* window) { m_window = window; }

private:
    NSWindow* m_window = nullptr; // the window holds the sheet, not the other way round
};

// Shows an alert sheet on `docWindow` (nothing happens without a window). An empty default
// button title means the standard label; empty alternate and other titles mean no such button.
// The end handler, delegate and context come with the sheets that need them.
void NSBeginAlertSheet(const std::string& title, const std::string& defaultButton,
                       const std::string& alternateButton, const std::string& otherButton,
                       NSWindow* docWindow, const std::string& message);
