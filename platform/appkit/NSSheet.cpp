#include "appkit/NSSheet.h"

#include <string>
#include <utility>

#include "appkit/NSWindow.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "runtime/MessageSend.h"

namespace {

constexpr const char* kEndEncoding = "v@:@qq";

// Sends the end message, or logs why it cannot: a delegate wired to the wrong selector must not
// throw into whoever runs the run loop.
void DeliverEnd(const Ref<NSSheet>& sheet, const Ref<NSObject>& delegate, SEL selector,
                int64_t returnCode, int64_t contextInfo) {
    Class cls = object_getClass(delegate.get());
    Method method = class_getInstanceMethod(cls, selector);
    std::string where = NSStringFromClass(cls) + " " + NSStringFromSelector(selector);
    if (method == nullptr) {
        NSLog(where + ": no such method, the sheet's end is dropped");
        return;
    }
    std::string types = method_getTypeEncoding(method);
    if (types != kEndEncoding) {
        NSLog(where + " takes '" + types + "', not a sheet's end '" + kEndEncoding +
              "': the sheet's end is dropped");
        return;
    }
    objc_msgSend(delegate.get(), selector, static_cast<id>(sheet.get()), returnCode, contextInfo);
}

} // namespace

Class NSSheet::ClassObject() {
    // No factory: only its subclasses make sheets.
    static Class cls = objc_registerClass("NSSheet", NSObject::RootClass());
    return cls;
}

bool NSSheet::CanBeginOn(const NSWindow* window) const {
    std::string name = NSStringFromClass(object_getClass(this));
    if (window == nullptr) {
        NSLog(name + ": no window to begin the sheet on");
        return false;
    }
    if (m_window != nullptr) {
        NSLog(name + ": the sheet is already up");
        return false;
    }
    return true;
}

bool NSSheet::BeginSheet(NSWindow* window, id modalDelegate, SEL didEndSelector,
                         int64_t contextInfo) {
    if (!CanBeginOn(window)) {
        return false;
    }
    m_window = window;
    m_delegate = Ref<NSObject>(modalDelegate);
    m_didEndSelector = didEndSelector;
    m_contextInfo = contextInfo;
    window->AttachSheet(Ref<NSSheet>(this));
    Changed();
    return true;
}

bool NSSheet::endSheet(int64_t returnCode) {
    if (m_window == nullptr) {
        return false;
    }
    // The window may hold the last reference; the posted message holds one of its own.
    Ref<NSSheet> self(this);
    Ref<NSObject> delegate = std::move(m_delegate);
    SEL selector = std::exchange(m_didEndSelector, nullptr);
    int64_t contextInfo = std::exchange(m_contextInfo, 0);
    std::exchange(m_window, nullptr)->DetachSheet(this);
    Changed();
    if (delegate && selector != nullptr) {
        RunLoop::Main().Post([self, delegate, selector, returnCode, contextInfo] {
            DeliverEnd(self, delegate, selector, returnCode, contextInfo);
        });
    }
    return true;
}

void NSSheet::WindowWillClose() {
    m_window = nullptr;
    m_didEndSelector = nullptr;
    m_delegate.reset();
}

void NSSheet::Changed() {
    NotifyObservers();
}
