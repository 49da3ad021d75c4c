#include "appkit/NSAlert.h"

#include "appkit/NSApplication.h"
#include "appkit/NSWindow.h"
#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSAlert::ClassObject();

NSAlert::NSAlert() : NSSheet(ClassObject()) {
}

Class NSAlert::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSAlert>("NSAlert", NSSheet::ClassObject());
    return cls;
}

void NSAlert::addButtonWithTitle(std::string title) {
    m_buttons.push_back(std::move(title));
    Changed();
}

void NSAlert::setMessageText(std::string text) {
    if (text != m_messageText) {
        m_messageText = std::move(text);
        Changed();
    }
}

void NSAlert::setInformativeText(std::string text) {
    if (text != m_informativeText) {
        m_informativeText = std::move(text);
        Changed();
    }
}

void NSAlert::setAlertStyle(int64_t style) {
    if (style != m_alertStyle) {
        m_alertStyle = style;
        Changed();
    }
}

void NSAlert::setIcon(Ref<NSImage> icon) {
    if (!(icon == m_icon)) {
        m_icon = std::move(icon);
        Changed();
    }
}

namespace {

NSAlert::NoDesktopHandler& NoDesktop() {
    static NSAlert::NoDesktopHandler handler;
    return handler;
}

} // namespace

void NSAlert::SetNoDesktopHandler(NoDesktopHandler show) {
    NoDesktop() = std::move(show);
}

void NSAlert::beginSheetModalForWindow(NSWindow* window, id modalDelegate, SEL didEndSelector,
                                       int64_t contextInfo) {
    if (NoDesktop()) {
        NoDesktop()(m_messageText, m_informativeText);
    }
    if (!CanBeginOn(window)) {
        return;
    }
    if (m_buttons.empty()) {
        // An alert nobody could answer would block its window for good.
        m_buttons.emplace_back(kDefaultButtonTitle);
    }
    BeginSheet(window, modalDelegate, didEndSelector, contextInfo);
}

bool NSAlert::clickButtonAtIndex(size_t index) {
    if (!isSheetUp() || index >= m_buttons.size()) {
        return false;
    }
    NSApp().beginEvent(NSEventType::LeftMouseUp);
    return endSheet(NSAlertFirstButtonReturn + static_cast<int64_t>(index));
}

nlohmann::json NSAlert::DescribeState() const {
    nlohmann::json buttons = nlohmann::json::array();
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        buttons.push_back({{"title", m_buttons[i]},
                           {"returnCode", NSAlertFirstButtonReturn + static_cast<int64_t>(i)}});
    }
    return {{"class", NSStringFromClass(isa())},
            {"messageText", m_messageText},
            {"informativeText", m_informativeText},
            {"alertStyle", m_alertStyle},
            {"icon", m_icon ? m_icon->Describe() : nlohmann::json()},
            {"buttons", buttons}};
}

void NSBeginAlertSheet(const std::string& title, const std::string& defaultButton,
                       const std::string& alternateButton, const std::string& otherButton,
                       NSWindow* docWindow, const std::string& message) {
    if (docWindow == nullptr) {
        // Nobody could see it on a window anyway; a command line run still says it.
        if (NoDesktop()) {
            NoDesktop()(title, message);
        }
        return;
    }
    Ref<NSAlert> alert = MakeRef<NSAlert>();
    alert->setMessageText(title);
    alert->setInformativeText(message);
    alert->addButtonWithTitle(defaultButton.empty() ? NSAlert::kDefaultButtonTitle : defaultButton);
    for (const std::string& button : {alternateButton, otherButton}) {
        if (!button.empty()) {
            alert->addButtonWithTitle(button);
        }
    }
    alert->beginSheetModalForWindow(docWindow, nullptr, nullptr, 0);
}
