#pragma once

#include "appkit/NSWindow.h"

// The application: for now, the window that sheets without a window of their own go to.
class NSApplication {
public:
    static NSApplication& sharedApplication();

    NSWindow* mainWindow() const { return m_mainWindow.get(); }
    void setMainWindow(Ref<NSWindow> window) { m_mainWindow = std::move(window); }

private:
    NSApplication() = default;
    Ref<NSWindow> m_mainWindow;
};

inline NSApplication& NSApp() {
    return NSApplication::sharedApplication();
}
