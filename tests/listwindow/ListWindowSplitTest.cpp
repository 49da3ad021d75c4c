#include "ListWindowHarness.h"
#include "appkit/NSApplication.h"

namespace {

class ListWindowSplitTest : public ListWindowHarness {
protected:
    static float TopHeight(const HVXSWFListWindowController& controller) {
        return controller.splitView->subviews()[0]->frame().size.height;
    }
    static float BottomHeight(const HVXSWFListWindowController& controller) {
        return controller.splitView->subviews()[1]->frame().size.height;
    }
    static float TopEdge(NSWindow& window) {
        return window.frame().origin.y + window.frame().size.height;
    }
};

TEST_F(ListWindowSplitTest, TheLayoutIsATopPaneOf70AboveTheRestOf510) {
    HVXSWFListWindowController& controller = OpenWindow();
    NSWindow& window = *controller.window();
    EXPECT_EQ(window.contentRectForFrameRect(window.frame()).size.height, 580);
    EXPECT_EQ(TopHeight(controller), 70);
    EXPECT_EQ(controller.splitView->dividerThickness() + BottomHeight(controller), 510);
}

TEST_F(ListWindowSplitTest, TheDividerStaysAt70WhereverItIsDragged) {
    InstallDissecta();
    HVXSWFListWindowController& controller = OpenWindow();
    for (float proposed : {0.0F, 35.0F, 69.0F, 200.0F, 579.0F}) {
        EXPECT_EQ(controller.splitView->dragDivider(proposed), 70) << proposed;
        EXPECT_EQ(TopHeight(controller), 70) << proposed;
    }
    EXPECT_FALSE(controller.splitView->isDividerHidden(0));
}

TEST_F(ListWindowSplitTest, DoubleClicksFoldTheTopPaneAwayAndBackWithTheTopEdgeFixed) {
    InstallDissecta();
    HVXSWFListWindowController& controller = OpenWindow();
    NSWindow& window = *controller.window();
    const NSRect opened = window.frame();
    const float bottom = BottomHeight(controller);

    controller.splitView->clickDivider(1);
    controller.splitView->clickDivider(2);
    EXPECT_EQ(TopHeight(controller), 0);
    EXPECT_EQ(BottomHeight(controller), bottom);
    EXPECT_EQ(window.frame().size.height, opened.size.height - 70);
    EXPECT_EQ(window.frame().size.width, controller.splitView->subviews()[0]->frame().size.width);
    EXPECT_EQ(TopEdge(window), opened.origin.y + opened.size.height);
    EXPECT_EQ(window.contentRectForFrameRect(window.frame()).size.height, 510);
    EXPECT_TRUE(window.lastFrameChangeAnimated());
    EXPECT_FALSE(controller.canCollase);
    EXPECT_EQ(controller.lastTopViewHeight, 70);
    EXPECT_EQ(controller.lastEndViewHeight, bottom);

    controller.splitView->clickDivider(1); // a single click changes nothing
    EXPECT_EQ(TopHeight(controller), 0);

    controller.splitView->clickDivider(2);
    EXPECT_EQ(TopHeight(controller), 70);
    EXPECT_EQ(BottomHeight(controller), bottom);
    EXPECT_EQ(window.frame().origin.y, opened.origin.y);
    EXPECT_EQ(window.frame().size.height, opened.size.height);
    EXPECT_TRUE(controller.canCollase);
    EXPECT_EQ(controller.splitView->dividerStyle(), NSSplitView::kThickStyle);
}

TEST_F(ListWindowSplitTest, WithoutTheCompanionNothingFoldsAndTheDividerIsThin) {
    HVXSWFListWindowController& controller = OpenWindow();
    NSWindow& window = *controller.window();
    const NSRect opened = window.frame();
    controller.splitView->clickDivider(2);
    controller.splitView->clickDivider(2);
    EXPECT_EQ(window.frame().size.height, opened.size.height);
    EXPECT_EQ(TopHeight(controller), 70);
    EXPECT_EQ(controller.splitView->dividerStyle(), NSSplitView::kThinStyle);
    EXPECT_FALSE(controller.canCollase);
}

TEST_F(ListWindowSplitTest, OnlyADoubleClickAboutTheTopPaneToggles) {
    InstallDissecta();
    HVXSWFListWindowController& controller = OpenWindow();
    NSSplitView& split = *controller.splitView;
    NSApp().beginEvent(NSEventType::LeftMouseDown, 2);
    EXPECT_FALSE(controller.splitViewCanCollapseSubview(&split, split.subviews()[1].get()));
    EXPECT_EQ(TopHeight(controller), 70);
    NSApp().beginEvent(NSEventType::LeftMouseUp, 2);
    EXPECT_FALSE(controller.splitViewCanCollapseSubview(&split, split.subviews()[0].get()));
    EXPECT_EQ(TopHeight(controller), 70);
    NSApp().beginEvent(NSEventType::LeftMouseDown, 3);
    EXPECT_FALSE(controller.splitViewCanCollapseSubview(&split, split.subviews()[0].get()));
    EXPECT_EQ(TopHeight(controller), 70);
}

} // namespace
