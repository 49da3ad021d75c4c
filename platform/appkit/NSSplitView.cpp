#include "appkit/NSSplitView.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "appkit/NSApplication.h"
#include "foundation/Log.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

constexpr float kThickDivider = 9.0F;
constexpr float kThinDivider = 1.0F;

// Sends a delegate question when the delegate implements it; otherwise, or when its method
// has another signature (logged), answers the fallback.
template <typename R, typename... Args>
R Ask(id delegate, const char* selector, R fallback, Args... args) {
    SEL sel = sel_registerName(selector);
    if (delegate == nullptr || !respondsToSelector(delegate, sel)) {
        return fallback;
    }
    try {
        return objc_msgSend<R>(delegate, sel, args...);
    } catch (const MessageSendError& error) {
        NSLog(std::string("NSSplitView delegate: ").append(error.what()));
        return fallback;
    }
}

} // namespace

[[maybe_unused]] static const Class kRegistered = NSSplitView::ClassObject();

NSSplitView::NSSplitView() : NSView(ClassObject()) {
}

Class NSSplitView::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSSplitView>("NSSplitView", NSView::ClassObject());
    return cls;
}

bool NSSplitView::setDividerStyle(int style) {
    if (style != kThickStyle && style != kThinStyle) {
        return false;
    }
    if (style != m_dividerStyle) {
        m_dividerStyle = style;
        Changed();
    }
    return true;
}

float NSSplitView::dividerThickness() const {
    return m_dividerStyle == kThinStyle ? kThinDivider : kThickDivider;
}

void NSSplitView::setDelegate(id delegate) {
    if (delegate != m_delegate) {
        m_delegate = delegate;
        Changed();
    }
}

bool NSSplitView::isSubviewCollapsed(const NSView* subview) const {
    return m_collapsed.contains(subview);
}

void NSSplitView::ForgetRemovedSubviews() {
    std::erase_if(m_collapsed, [this](const auto& entry) {
        return std::none_of(
            subviews().begin(), subviews().end(),
            [&entry](const Ref<NSView>& view) { return view.get() == entry.first; });
    });
}

void NSSplitView::adjustSubviews() {
    ForgetRemovedSubviews();
    // Subviews' observers may drop them.
    std::vector<Ref<NSView>> panes = subviews();
    if (panes.empty()) {
        return;
    }
    const float width = frame().size.width;
    const float height = frame().size.height;
    auto lastExpanded = std::find_if(panes.rbegin(), panes.rend(), [this](const Ref<NSView>& view) {
        return !isSubviewCollapsed(view.get());
    });
    float y = 0;
    for (auto pane = panes.begin(); pane != panes.end(); ++pane) {
        float paneHeight = 0;
        const float dividersBelow = dividerThickness() * static_cast<float>(panes.end() - pane - 1);
        const float room = std::max(0.0F, height - y - dividersBelow);
        if (isSubviewCollapsed(pane->get())) {
            paneHeight = 0;
        } else if (lastExpanded != panes.rend() && pane->get() == lastExpanded->get()) {
            paneHeight = room;
        } else {
            paneHeight = std::clamp((*pane)->frame().size.height, 0.0F, room);
        }
        (*pane)->setFrame(NSMakeRect(0, y, width, paneHeight));
        y += paneHeight + dividerThickness();
    }
    Changed();
}

bool NSSplitView::isDividerHidden(int64_t dividerIndex) {
    return Ask<bool>(m_delegate, "splitView:shouldHideDividerAtIndex:", false,
                     static_cast<id>(this), dividerIndex);
}

float NSSplitView::AskCoordinate(const char* selector, float proposed, int64_t index) {
    return Ask<float>(m_delegate, selector, proposed, static_cast<id>(this), proposed, index);
}

float NSSplitView::dragDivider(float proposedPosition) {
    if (subviews().size() < 2) {
        return proposedPosition;
    }
    Ref<NSSplitView> keepAlive(this);
    Ref<NSView> top = subviews()[0];
    Ref<NSView> bottom = subviews()[1];
    const float topEdge = top->frame().origin.y;
    const float bottomEdge = bottom->frame().origin.y + bottom->frame().size.height;
    const float lowest = std::max(topEdge, bottomEdge - dividerThickness());

    float minimum = AskCoordinate("splitView:constrainMinCoordinate:ofSubviewAt:", topEdge, 0);
    float maximum = AskCoordinate("splitView:constrainMaxCoordinate:ofSubviewAt:", lowest, 0);
    float position =
        AskCoordinate("splitView:constrainSplitPosition:ofSubviewAt:", proposedPosition, 0);
    // The delegate's bounds win over its position, and the panes' room over both: no pane
    // may end up with a negative height.
    if (std::isnan(position)) {
        position = proposedPosition;
    }
    position = std::max(std::min(position, maximum), minimum);
    position = std::isnan(position) ? topEdge : std::clamp(position, topEdge, lowest);

    m_collapsed.erase(top.get());
    m_collapsed.erase(bottom.get());
    NSRect topFrame = top->frame();
    topFrame.size.height = position - topEdge;
    top->setFrame(topFrame);
    NSRect bottomFrame = bottom->frame();
    bottomFrame.origin.y = position + dividerThickness();
    bottomFrame.size.height = std::max(0.0F, bottomEdge - bottomFrame.origin.y);
    bottom->setFrame(bottomFrame);
    Changed();
    return position;
}

void NSSplitView::clickDivider(int clickCount) {
    Ref<NSSplitView> keepAlive(this);
    NSApp().beginEvent(NSEventType::LeftMouseDown, clickCount);

    std::vector<Ref<NSView>> panes = subviews();
    NSView* allowed = nullptr;
    for (const Ref<NSView>& pane : panes) {
        bool canCollapse = Ask<bool>(m_delegate, "splitView:canCollapseSubview:", false,
                                     static_cast<id>(this), static_cast<id>(pane.get()));
        if (canCollapse && allowed == nullptr && pane->superview() == this) {
            allowed = pane.get();
        }
    }
    if (clickCount != 2) {
        return;
    }
    ForgetRemovedSubviews();
    if (!m_collapsed.empty()) {
        // Expanding gives each pane its old height back; the last expanded one absorbs the rest.
        for (const auto& [view, height] : m_collapsed) {
            for (const Ref<NSView>& pane : subviews()) {
                if (pane.get() == view) {
                    NSRect restored = pane->frame();
                    restored.size.height = height;
                    pane->setFrame(restored);
                }
            }
        }
        m_collapsed.clear();
        adjustSubviews();
    } else if (allowed != nullptr) {
        m_collapsed.emplace(allowed, allowed->frame().size.height);
        adjustSubviews();
    }
}

nlohmann::json NSSplitView::DescribeState() const {
    nlohmann::json description = DescribeView();
    description["dividerStyle"] = m_dividerStyle;
    description["dividerThickness"] = dividerThickness();
    nlohmann::json collapsed = nlohmann::json::array();
    for (size_t index = 0; index < subviews().size(); ++index) {
        if (isSubviewCollapsed(subviews()[index].get())) {
            collapsed.push_back(index);
        }
    }
    description["collapsedSubviews"] = collapsed;
    return description;
}
