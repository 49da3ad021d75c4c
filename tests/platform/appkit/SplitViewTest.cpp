#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "appkit/NSApplication.h"
#include "appkit/NSSplitView.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

// A delegate as the captured-SWF window's controller is: the divider pinned at 70, collapse
// decided by the current event. It records every question.
class PinningDelegate : public NSObject {
public:
    PinningDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject();

    std::vector<std::string> questions;
    std::vector<float> proposals;
    std::vector<NSEvent> eventsSeen;
    std::vector<id> collapseAsked;
    bool allowCollapseOfFirst = false;
};

PinningDelegate& Self(id self) {
    return *static_cast<PinningDelegate*>(self);
}

float ConstrainMin(id self, SEL, id, float proposed, int64_t index) {
    Self(self).questions.push_back("min" + std::to_string(index));
    Self(self).proposals.push_back(proposed);
    return 0;
}

float ConstrainMax(id self, SEL, id, float proposed, int64_t index) {
    Self(self).questions.push_back("max" + std::to_string(index));
    Self(self).proposals.push_back(proposed);
    return 70;
}

float ConstrainPosition(id self, SEL, id, float proposed, int64_t index) {
    Self(self).questions.push_back("position" + std::to_string(index));
    Self(self).proposals.push_back(proposed);
    return 70;
}

bool CanCollapse(id self, SEL, id splitView, id subview) {
    PinningDelegate& delegate = Self(self);
    delegate.questions.emplace_back("canCollapse");
    delegate.collapseAsked.push_back(subview);
    delegate.eventsSeen.push_back(*NSApp().currentEvent());
    auto* split = static_cast<NSSplitView*>(splitView);
    return delegate.allowCollapseOfFirst && subview == split->subviews()[0].get();
}

bool ShouldHide(id, SEL, id, int64_t index) {
    return index == 0;
}

Class PinningDelegate::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<PinningDelegate>("PinningDelegate", NSObject::RootClass());
        class_defineMethod(made, "splitView:constrainMinCoordinate:ofSubviewAt:", &ConstrainMin);
        class_defineMethod(made, "splitView:constrainMaxCoordinate:ofSubviewAt:", &ConstrainMax);
        class_defineMethod(made,
                           "splitView:constrainSplitPosition:ofSubviewAt:", &ConstrainPosition);
        class_defineMethod(made, "splitView:canCollapseSubview:", &CanCollapse);
        class_defineMethod(made, "splitView:shouldHideDividerAtIndex:", &ShouldHide);
        return made;
    }();
    return cls;
}

// A delegate whose position method has the wrong signature (double instead of float).
class MiswiredDelegate : public NSObject {
public:
    MiswiredDelegate() : NSObject(ClassObject()) {}
    static Class ClassObject();
};

double WrongPosition(id, SEL, id, double, int64_t) {
    return 70;
}

Class MiswiredDelegate::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<MiswiredDelegate>("MiswiredDelegate", NSObject::RootClass());
        class_defineMethod(made, "splitView:constrainSplitPosition:ofSubviewAt:", &WrongPosition);
        return made;
    }();
    return cls;
}

// A 400 x 580 split view: a 70-point top pane, a divider, the rest below.
struct Panes {
    Ref<NSSplitView> split = MakeRef<NSSplitView>();
    Ref<NSView> top = MakeRef<NSView>();
    Ref<NSView> bottom = MakeRef<NSView>();

    Panes() {
        split->setFrame(NSMakeRect(0, 0, 400, 580));
        split->addSubview(top);
        split->addSubview(bottom);
        top->setFrame(NSMakeRect(0, 0, 10, 70));
        split->adjustSubviews();
    }
};

TEST(SplitViewTest, AdjustingStacksFromTheTopAndTheLastPaneTakesTheRest) {
    Panes panes;
    EXPECT_EQ(panes.top->frame(), NSMakeRect(0, 0, 400, 70));
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 79, 400, 501));

    // A top pane taller than the split view leaves the bottom pane 0 high, never negative.
    panes.top->setFrame(NSMakeRect(0, 0, 400, 900));
    panes.split->adjustSubviews();
    EXPECT_EQ(panes.top->frame(), NSMakeRect(0, 0, 400, 571));
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 580, 400, 0));
}

TEST(SplitViewTest, DividerThicknessFollowsTheStyle) {
    Panes panes;
    EXPECT_EQ(panes.split->dividerThickness(), 9);
    EXPECT_TRUE(panes.split->setDividerStyle(NSSplitView::kThinStyle));
    EXPECT_EQ(panes.split->dividerThickness(), 1);
    EXPECT_FALSE(panes.split->setDividerStyle(7));
    EXPECT_EQ(panes.split->dividerStyle(), NSSplitView::kThinStyle);
    panes.split->adjustSubviews();
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 71, 400, 509));
    EXPECT_EQ(panes.split->Describe()["dividerThickness"], 1);
}

TEST(SplitViewTest, DragAsksTheThreeConstraintsAndObeysAPinnedPosition) {
    Panes panes;
    Ref<PinningDelegate> delegate = MakeRef<PinningDelegate>();
    panes.split->setDelegate(delegate.get());

    EXPECT_EQ(panes.split->dragDivider(200), 70);
    EXPECT_EQ(delegate->questions, (std::vector<std::string>{"min0", "max0", "position0"}));
    // The split view proposes the top pane's top, the lowest divider spot, and the drag.
    EXPECT_EQ(delegate->proposals, (std::vector<float>{0, 571, 200}));
    EXPECT_EQ(panes.top->frame(), NSMakeRect(0, 0, 400, 70));
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 79, 400, 501));
}

TEST(SplitViewTest, DragWithoutDelegateStaysInsideThePanes) {
    Panes panes;
    EXPECT_EQ(panes.split->dragDivider(120), 120);
    EXPECT_EQ(panes.top->frame().size.height, 120);
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 129, 400, 451));
    // Past the bottom: the bottom pane shrinks to 0, not below.
    EXPECT_EQ(panes.split->dragDivider(5000), 571);
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 580, 400, 0));
    EXPECT_EQ(panes.split->dragDivider(-30), 0);
    EXPECT_EQ(panes.top->frame().size.height, 0);
}

TEST(SplitViewTest, AMiswiredDelegateMethodIsIgnored) {
    Panes panes;
    Ref<MiswiredDelegate> delegate = MakeRef<MiswiredDelegate>();
    panes.split->setDelegate(delegate.get());
    EXPECT_EQ(panes.split->dragDivider(100), 100);
    EXPECT_FALSE(panes.split->isDividerHidden(0));
}

TEST(SplitViewTest, ClicksAskCanCollapseWithTheCurrentEvent) {
    Panes panes;
    Ref<PinningDelegate> delegate = MakeRef<PinningDelegate>();
    panes.split->setDelegate(delegate.get());

    panes.split->clickDivider(1);
    panes.split->clickDivider(2);
    ASSERT_EQ(delegate->eventsSeen.size(), 4U);
    for (size_t index = 0; index < 4; ++index) {
        EXPECT_EQ(static_cast<int>(delegate->eventsSeen[index].type), 1);
        EXPECT_EQ(delegate->eventsSeen[index].clickCount, index < 2 ? 1 : 2);
    }
    // Each subview in order, on each click.
    EXPECT_EQ(delegate->collapseAsked, (std::vector<id>{panes.top.get(), panes.bottom.get(),
                                                        panes.top.get(), panes.bottom.get()}));
    // The delegate said no: nothing collapsed.
    EXPECT_FALSE(panes.split->isSubviewCollapsed(panes.top.get()));
    EXPECT_EQ(panes.top->frame().size.height, 70);
    EXPECT_TRUE(panes.split->isDividerHidden(0));
    EXPECT_FALSE(panes.split->isDividerHidden(1));
}

TEST(SplitViewTest, ADoubleClickCollapsesWhatTheDelegateAllowsAndTheNextRestoresIt) {
    Panes panes;
    Ref<PinningDelegate> delegate = MakeRef<PinningDelegate>();
    delegate->allowCollapseOfFirst = true;
    panes.split->setDelegate(delegate.get());

    panes.split->clickDivider(1);
    EXPECT_FALSE(panes.split->isSubviewCollapsed(panes.top.get()));
    panes.split->clickDivider(2);
    EXPECT_TRUE(panes.split->isSubviewCollapsed(panes.top.get()));
    EXPECT_FALSE(panes.split->isSubviewCollapsed(panes.bottom.get()));
    EXPECT_EQ(panes.top->frame(), NSMakeRect(0, 0, 400, 0));
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 9, 400, 571));
    EXPECT_EQ(panes.split->Describe()["collapsedSubviews"], nlohmann::json{0});

    panes.split->clickDivider(2);
    EXPECT_FALSE(panes.split->isSubviewCollapsed(panes.top.get()));
    EXPECT_EQ(panes.top->frame(), NSMakeRect(0, 0, 400, 70));
    EXPECT_EQ(panes.bottom->frame(), NSMakeRect(0, 79, 400, 501));
}

} // namespace
