#pragma once

#include <optional>

#include "appkit/NSEvent.h"
#include "appkit/NSMenu.h"
#include "appkit/NSWindow.h"
#include "runtime/Selector.h"

class ActionSender;

// The application: its main menu (the menu bar, whose items' submenus are the menus), the
// window that sheets without a window of their own go to, and the delivery of user events.
class NSApplication {
public:
    static NSApplication& sharedApplication();

    NSWindow* mainWindow() const { return m_mainWindow.get(); }
    void setMainWindow(Ref<NSWindow> window) { m_mainWindow = std::move(window); }

    NSMenu* mainMenu() const { return m_mainMenu.get(); }
    void setMainMenu(Ref<NSMenu> menu) { m_mainMenu = std::move(menu); }

    // The event being handled, or the last one handled; none before the first.
    const std::optional<NSEvent>& currentEvent() const { return m_currentEvent; }
    // Records a new current event of that type and click count, and answers it.
    const NSEvent& beginEvent(NSEventType type, int clickCount = 1);

    // Sends `action` ("v@:@") with `sender` to `target`. False, without sending, for a null
    // action or target, a target that does not respond, or a method that does not take a
    // sender (logged: a miswired interface file should be found, not crash the application).
    bool sendAction(SEL action, id target, id sender);
    // A click: nothing for a disabled item or control; otherwise it becomes the current event,
    // the item takes it (clickWillSendAction) and the item's action goes to its target, with
    // the item as sender.
    bool performClick(ActionSender& item);

private:
    NSApplication() = default;
    Ref<NSWindow> m_mainWindow;
    Ref<NSMenu> m_mainMenu;
    std::optional<NSEvent> m_currentEvent;
    uint64_t m_eventCount = 0;
};

inline NSApplication& NSApp() {
    return NSApplication::sharedApplication();
}
