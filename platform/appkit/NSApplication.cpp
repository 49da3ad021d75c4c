#include "appkit/NSApplication.h"

#include <chrono>
#include <string>

#include "appkit/ActionSender.h"
#include "foundation/Log.h"
#include "runtime/MessageSend.h"

namespace {

constexpr const char* kActionEncoding = "v@:@";

} // namespace

NSApplication& NSApplication::sharedApplication() {
    static NSApplication application;
    return application;
}

const NSEvent& NSApplication::beginEvent(NSEventType type, int clickCount) {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    NSEvent event;
    event.type = type;
    event.clickCount = clickCount;
    event.eventNumber = ++m_eventCount;
    event.timestamp = std::chrono::duration<double>(now).count();
    m_currentEvent = event;
    return *m_currentEvent;
}

bool NSApplication::sendAction(SEL action, id target, id sender) {
    if (action == nullptr || target == nullptr) {
        return false;
    }
    Method method = class_getInstanceMethod(object_getClass(target), action);
    if (method == nullptr) {
        return false;
    }
    std::string types = method_getTypeEncoding(method);
    if (types != kActionEncoding) {
        std::string line = NSStringFromClass(object_getClass(target));
        line.append(" ").append(NSStringFromSelector(action)).append(" takes '");
        line.append(types).append("', not an action '").append(kActionEncoding).append("'");
        NSLog(line);
        return false;
    }
    objc_msgSend(target, action, sender);
    return true;
}

bool NSApplication::performClick(ActionSender& item) {
    if (!item.isEnabled()) {
        return false;
    }
    // The action may remove the item from its menu, its last owner.
    Ref<NSObject> keepAlive(item.senderObject());
    beginEvent(NSEventType::LeftMouseUp);
    item.clickWillSendAction();
    return sendAction(item.action(), item.target(), item.senderObject());
}
