#include "appkit/NSWindow.h"

#include <algorithm>

#include "foundation/Log.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

[[maybe_unused]] static const Class kRegistered = NSWindow::ClassObject();

NSWindow::NSWindow(std::string title)
    : ModelObject(ClassObject()), m_title(std::move(title)), m_contentView(MakeRef<NSView>()) {
}

NSWindow::~NSWindow() {
    for (const Ref<NSSheet>& sheet : m_sheets) {
        sheet->WindowWillClose();
    }
}

Class NSWindow::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSWindow>("NSWindow", NSObject::RootClass());
    return cls;
}

void NSWindow::setTitle(std::string title) {
    if (title != m_title) {
        m_title = std::move(title);
        Changed();
    }
}

NSRect NSWindow::contentRectForFrameRect(NSRect frame) const {
    frame.size.height = std::max(0.0F, frame.size.height - kTitleBarHeight);
    return frame;
}

NSRect NSWindow::frameRectForContentRect(NSRect content) const {
    content.size.height = std::max(0.0F, content.size.height) + kTitleBarHeight;
    return content;
}

void NSWindow::setFrame(NSRect frame, bool display, bool animate) {
    frame.size.width = std::max(0.0F, frame.size.width);
    frame.size.height = std::max(0.0F, frame.size.height);
    m_frame = frame;
    m_displayed = display;
    m_animated = animate;
    FitContentView();
    Changed();
}

void NSWindow::setContentView(Ref<NSView> view) {
    if (!view) {
        view = MakeRef<NSView>();
    }
    if (view == m_contentView) {
        return;
    }
    // A view shows in one place only.
    view->removeFromSuperview();
    m_contentView = std::move(view);
    FitContentView();
    Changed();
}

void NSWindow::FitContentView() {
    NSRect content = contentRectForFrameRect(m_frame);
    m_contentView->setFrame(NSMakeRect(0, 0, content.size.width, content.size.height));
}

void NSWindow::setDelegate(id delegate) {
    if (delegate != m_delegate) {
        m_delegate = delegate;
        Changed();
    }
}

void NSWindow::makeKeyAndOrderFront(id /*sender*/) {
    if (!m_visible || !m_key) {
        m_visible = true;
        m_key = true;
        Changed();
    }
}

void NSWindow::orderOut(id /*sender*/) {
    if (m_visible || m_key) {
        m_visible = false;
        m_key = false;
        Changed();
    }
}

void NSWindow::performClose(id /*sender*/) {
    // The delegate may drop the last reference to the window while it answers.
    Ref<NSWindow> keepAlive(this);
    SEL shouldClose = sel_registerName("windowShouldClose:");
    if (m_delegate != nullptr && respondsToSelector(m_delegate, shouldClose)) {
        try {
            if (!objc_msgSend<bool>(m_delegate, shouldClose, static_cast<id>(this))) {
                return;
            }
        } catch (const MessageSendError& error) {
            NSLog(std::string("NSWindow performClose: ").append(error.what()));
        }
    }
    close();
}

void NSWindow::close() {
    orderOut(nullptr);
}

void NSWindow::AttachSheet(Ref<NSSheet> sheet) {
    m_sheets.push_back(std::move(sheet));
    Changed();
}

void NSWindow::DetachSheet(NSSheet* sheet) {
    auto found = std::find_if(m_sheets.begin(), m_sheets.end(),
                              [sheet](const Ref<NSSheet>& held) { return held.get() == sheet; });
    if (found != m_sheets.end()) {
        m_sheets.erase(found);
        Changed();
    }
}

void NSWindow::Changed() {
    Ref<NSWindow> keepAlive(this);
    NotifyObservers();
}

nlohmann::json NSWindow::DescribeState() const {
    nlohmann::json sheets = nlohmann::json::array();
    for (const Ref<NSSheet>& sheet : m_sheets) {
        sheets.push_back(sheet->Describe());
    }
    return {
        {"class", NSStringFromClass(isa())},
        {"title", m_title},
        {"frame", {m_frame.origin.x, m_frame.origin.y, m_frame.size.width, m_frame.size.height}},
        {"visible", m_visible},
        {"key", m_key},
        {"delegate", m_delegate == nullptr
                         ? nlohmann::json()
                         : nlohmann::json(NSStringFromClass(object_getClass(m_delegate)))},
        {"contentView", m_contentView->Describe()},
        {"sheets", sheets}};
}
