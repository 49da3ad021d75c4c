#include "appkit/NSAlert.h"

#include "appkit/NSWindow.h"
#include "foundation/objects/RuntimeClass.h"

NSAlert::NSAlert() : NSObject(ClassObject()) {
}

Class NSAlert::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSAlert>("NSAlert", NSObject::RootClass());
    return cls;
}

void NSBeginAlertSheet(const std::string& title, const std::string& defaultButton,
                       const std::string& alternateButton, const std::string& otherButton,
                       NSWindow* docWindow, const std::string& message) {
    if (docWindow == nullptr) {
        return;
    }
    Ref<NSAlert> alert = MakeRef<NSAlert>();
    alert->messageText = title;
    alert->informativeText = message;
    alert->buttons.push_back(defaultButton.empty() ? NSAlert::kDefaultButtonTitle : defaultButton);
    for (const std::string& button : {alternateButton, otherButton}) {
        if (!button.empty()) {
            alert->buttons.push_back(button);
        }
    }
    docWindow->beginSheet(std::move(alert));
}
