#pragma once

#include <cstdint>

#include "appkit/ModelObject.h"
#include "runtime/Selector.h"

class NSWindow;

// What alerts and open panels share: a sheet is begun on a window with a modal delegate, an end
// selector and a context, and ends once, with the presenter's answer. The end message
// ("v@:@qq": the sheet, the return code, the context) reaches the delegate through the main run
// loop, after the sheet has left its window.
class NSSheet : public ModelObject {
public:
    static Class ClassObject();

    // The window the sheet is attached to while it is up; null before and after.
    NSWindow* window() const { return m_window; }
    bool isSheetUp() const { return m_window != nullptr; }

    // The presenter's answer: detaches the sheet from its window at once and posts the end
    // message. False, doing nothing, when the sheet is not up.
    bool endSheet(int64_t returnCode);

protected:
    explicit NSSheet(Class isa) : ModelObject(isa) {}
    ~NSSheet() override = default;

    // Whether the sheet could begin on `window`: not without a window, nor while it is up
    // somewhere already. Logs why not.
    bool CanBeginOn(const NSWindow* window) const;
    // Attaches the sheet to `window`, when it can begin there (false otherwise). The delegate is
    // retained until its end message has been delivered: a controller released meanwhile must not
    // be reached through a dangling pointer.
    bool BeginSheet(NSWindow* window, id modalDelegate, SEL didEndSelector, int64_t contextInfo);
    void Changed();

private:
    friend class NSWindow;
    // The window is going away: the sheet goes down with it and no end message follows.
    void WindowWillClose();

    NSWindow* m_window = nullptr; // the window holds the sheet, not the other way round
    Ref<NSObject> m_delegate;
    SEL m_didEndSelector = nullptr;
    int64_t m_contextInfo = 0;
};
