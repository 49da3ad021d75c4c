#include "appkit/NSView.h"

#include <algorithm>

#include "foundation/objects/RuntimeClass.h"

namespace {

nlohmann::json RectJson(const NSRect& rect) {
    return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
}

} // namespace

// Registered at load, so that interface files find the class by name.
[[maybe_unused]] static const Class kRegistered = NSView::ClassObject();

NSView::NSView() : NSView(ClassObject()) {
}

NSView::NSView(Class isa) : ModelObject(isa) {
}

NSView::~NSView() {
    for (const Ref<NSView>& view : m_subviews) {
        view->m_superview = nullptr;
    }
}

Class NSView::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSView>("NSView", NSObject::RootClass());
    return cls;
}

void NSView::setFrame(NSRect frame) {
    if (frame != m_frame) {
        m_frame = frame;
        Changed();
    }
}

bool NSView::addSubview(Ref<NSView> view) {
    if (!view || view->m_superview != nullptr) {
        return false;
    }
    for (const NSView* walk = this; walk != nullptr; walk = walk->m_superview) {
        if (walk == view.get()) {
            return false;
        }
    }
    view->m_superview = this;
    m_subviews.push_back(std::move(view));
    Changed();
    return true;
}

void NSView::removeFromSuperview() {
    NSView* superview = m_superview;
    if (superview == nullptr) {
        return;
    }
    // The superview may hold the last reference.
    Ref<NSView> keepAlive(this);
    auto& siblings = superview->m_subviews;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [this](const Ref<NSView>& view) { return view.get() == this; }),
                   siblings.end());
    m_superview = nullptr;
    superview->Changed();
}

void NSView::Changed() {
    Ref<NSView> keepAlive(this);
    NotifyObservers();
}

nlohmann::json NSView::DescribeView() const {
    nlohmann::json subviews = nlohmann::json::array();
    for (const Ref<NSView>& view : m_subviews) {
        subviews.push_back(view->Describe());
    }
    return {{"class", NSStringFromClass(isa())},
            {"frame", RectJson(m_frame)},
            {"flipped", isFlipped()},
            {"subviews", subviews}};
}

nlohmann::json NSView::DescribeState() const {
    return DescribeView();
}
