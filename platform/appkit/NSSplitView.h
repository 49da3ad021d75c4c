#pragma once

#include <cstdint>
#include <map>

#include "appkit/NSView.h"

// Panes stacked one above the other (the first on top) with a divider between neighbours.
// Its subviews' frames are flipped: y runs downward from the split view's top edge.
//
// The delegate (not retained: usually the window's controller) is asked, through the
// runtime and only when it implements them, with the original toolkit's signatures:
//   splitView:constrainMinCoordinate:ofSubviewAt:  "f@:@fq"
//   splitView:constrainMaxCoordinate:ofSubviewAt:  "f@:@fq"
//   splitView:constrainSplitPosition:ofSubviewAt:  "f@:@fq"
//   splitView:canCollapseSubview:                  "B@:@@"
//   splitView:shouldHideDividerAtIndex:            "B@:@q"
// A method with another signature is logged and the split view's own answer is used.
class NSSplitView : public NSView {
public:
    // Divider styles, with the original toolkit's values.
    static constexpr int kThickStyle = 1; // 9 points
    static constexpr int kThinStyle = 2;  // 1 point

    NSSplitView();
    static Class ClassObject();

    bool isFlipped() const override { return true; }

    int dividerStyle() const { return m_dividerStyle; }
    // False, leaving the style, for a value that is not a known style.
    bool setDividerStyle(int style);
    float dividerThickness() const;

    id delegate() const { return m_delegate; }
    void setDelegate(id delegate);

    // Makes the subviews fill the split view: each as wide as it, stacked from the top with a
    // divider between neighbours, collapsed ones 0 high, the last expanded one taking the
    // height that remains (never less than 0; earlier panes shrink when they do not fit).
    void adjustSubviews();
    bool isSubviewCollapsed(const NSView* subview) const;
    // Asks the delegate; no when it does not say.
    bool isDividerHidden(int64_t dividerIndex);

    // A drag of the first divider to `proposedPosition` (flipped): asks the minimum, the
    // maximum and the position, keeps the position within the delegate's bounds and within the
    // two panes, then sets the top pane's height and moves the bottom pane's top edge under
    // the divider (its bottom edge stays). Answers the position applied; nothing happens with
    // fewer than two subviews (answers the proposal).
    float dragDivider(float proposedPosition);
    // A press on the divider: it becomes the application's current event (left mouse down,
    // that click count), then the delegate is asked splitView:canCollapseSubview: for each
    // subview in order, as the original toolkit does on the second click of a double click.
    // On a double click (count 2) a collapsed subview is expanded again; otherwise the first
    // subview the delegate allows is collapsed. A single click collapses nothing.
    void clickDivider(int clickCount);

    nlohmann::json DescribeState() const override;

private:
    float AskCoordinate(const char* selector, float proposed, int64_t index);
    void ForgetRemovedSubviews();

    int m_dividerStyle = kThickStyle;
    id m_delegate = nullptr;
    // Collapsed subviews, with the height each had before. Keys are only compared, never
    // followed; entries of views no longer subviews are dropped.
    std::map<const NSView*, float> m_collapsed;
};
