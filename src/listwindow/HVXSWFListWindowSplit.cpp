// The list window's split view: a top pane held at a fixed height, which a double click on the
// divider folds away (shrinking the window) and brings back, when the companion is installed.
#include "appkit/NSApplication.h"
#include "listwindow/HVXSWFListWindowController.h"

namespace {

constexpr float kDividerPosition = HVXSWFListWindowController::kTopPaneHeight;
constexpr float kMinimumCoordinate = 0.0F;

} // namespace

bool HVXSWFListWindowController::splitViewShouldHideDividerAtIndex(NSSplitView* /*splitView*/,
                                                                   int64_t /*dividerIndex*/) const {
    return false;
}

bool HVXSWFListWindowController::splitViewCanCollapseSubview(NSSplitView* splitView,
                                                             NSView* subview) {
    if (splitView == nullptr) {
        return false;
    }
    if (!isInstallDissecta()) {
        splitView->setDividerStyle(NSSplitView::kThinStyle);
        return false;
    }
    splitView->setDividerStyle(NSSplitView::kThickStyle);
    if (splitView->subviews().empty() || splitView->subviews().front().get() != subview) {
        return false;
    }
    // The split view asks during the second click of a double click; only that toggles.
    const std::optional<NSEvent>& event = NSApp().currentEvent();
    if (!event || event->type != NSEventType::LeftMouseDown || event->clickCount != 2) {
        return false;
    }
    if (canCollase) {
        collapseSplitView(splitView);
    } else {
        uncollapseSplitView(splitView);
    }
    return false;
}

float HVXSWFListWindowController::splitViewConstrainMinCoordinate(NSSplitView* /*splitView*/,
                                                                  float /*proposed*/,
                                                                  int64_t /*dividerIndex*/) const {
    return kMinimumCoordinate;
}

float HVXSWFListWindowController::splitViewConstrainMaxCoordinate(NSSplitView* /*splitView*/,
                                                                  float /*proposed*/,
                                                                  int64_t /*dividerIndex*/) const {
    return kDividerPosition;
}

float HVXSWFListWindowController::splitViewConstrainSplitPosition(NSSplitView* /*splitView*/,
                                                                  float /*proposed*/,
                                                                  int64_t /*dividerIndex*/) const {
    return kDividerPosition;
}

NSRect HVXSWFListWindowController::frameForView(NSView* view) {
    NSWindow* shown = window();
    if (shown == nullptr || view == nullptr) {
        return {};
    }
    const NSRect frame = shown->frame();
    const NSRect content = shown->contentRectForFrameRect(frame);
    NSRect fitted;
    fitted.origin.x = frame.origin.x;
    fitted.size.width = view->frame().size.width;
    fitted.size.height = (frame.size.height - content.size.height) + kRestOfContentHeight +
                         view->frame().size.height;
    // The top edge stays where it is.
    fitted.origin.y = frame.origin.y + frame.size.height - fitted.size.height;
    return fitted;
}

void HVXSWFListWindowController::collapseSplitView(NSSplitView* splitView) {
    if (splitView == nullptr || splitView->subviews().size() < 2 || window() == nullptr) {
        return;
    }
    Ref<NSView> top = splitView->subviews()[0];
    Ref<NSView> bottom = splitView->subviews()[1];
    lastTopViewHeight = top->frame().size.height;
    lastEndViewHeight = bottom->frame().size.height;
    const float divider = splitView->dividerThickness();
    const NSRect bottomFrame = bottom->frame();
    bottom->setFrame(
        NSMakeRect(bottomFrame.origin.x, divider, bottomFrame.size.width, bottomFrame.size.height));
    const NSRect topFrame = top->frame();
    top->setFrame(NSMakeRect(topFrame.origin.x, 0, topFrame.size.width, 0));
    window()->setFrame(frameForView(top.get()), true, true);
    splitView->adjustSubviews();
    canCollase = false;
}

void HVXSWFListWindowController::uncollapseSplitView(NSSplitView* splitView) {
    if (splitView == nullptr || splitView->subviews().size() < 2 || window() == nullptr) {
        return;
    }
    Ref<NSView> top = splitView->subviews()[0];
    Ref<NSView> bottom = splitView->subviews()[1];
    const float divider = splitView->dividerThickness();
    const NSRect bottomFrame = bottom->frame();
    bottom->setFrame(NSMakeRect(bottomFrame.origin.x, divider + lastTopViewHeight,
                                bottomFrame.size.width, lastEndViewHeight));
    const NSRect topFrame = top->frame();
    top->setFrame(NSMakeRect(topFrame.origin.x, 0, topFrame.size.width, lastTopViewHeight));
    window()->setFrame(frameForView(top.get()), true, true);
    splitView->adjustSubviews();
    canCollase = true;
}
