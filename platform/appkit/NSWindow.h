#pragma once

#include <string>
#include <vector>

#include "appkit/ModelObject.h"
#include "appkit/NSSheet.h"
#include "appkit/NSView.h"
#include "foundation/Geometry.h"

// A window as a model: a title, a frame on the screen, a content view, whether it is on
// screen, and the sheets attached to it, newest last. Presenters (tests, the front end) read
// it; nothing here draws.
//
// Frames are in screen coordinates (origin bottom-left). The content rectangle is the frame
// less a title bar of kTitleBarHeight points at the top; there is no other border.
class NSWindow : public ModelObject {
public:
    static constexpr float kTitleBarHeight = 22.0F;

    NSWindow() : NSWindow(std::string()) {}
    explicit NSWindow(std::string title);
    static Class ClassObject();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);

    const NSRect& frame() const { return m_frame; }
    NSRect contentRectForFrameRect(NSRect frame) const;
    NSRect frameRectForContentRect(NSRect content) const;
    // Moves and resizes the window (at once: there is no animation to wait for) and makes the
    // content view fill the new content rectangle. Negative sizes become 0.
    void setFrame(NSRect frame, bool display, bool animate);
    // Whether the last setFrame asked for display and animation (for presenters).
    bool lastFrameChangeDisplayed() const { return m_displayed; }
    bool lastFrameChangeAnimated() const { return m_animated; }

    // Never null: a plain view until one is set. It is resized to fill the content rectangle.
    NSView* contentView() const { return m_contentView.get(); }
    void setContentView(Ref<NSView> view);

    // Not retained: usually the window's controller, which owns the window.
    id delegate() const { return m_delegate; }
    void setDelegate(id delegate);

    bool isVisible() const { return m_visible; }
    bool isKeyWindow() const { return m_key; }
    void makeKeyAndOrderFront(id sender);
    void orderOut(id sender);
    // The close button: asks the delegate's windowShouldClose: ("B@:@", with the window) and
    // closes only on yes, or when the delegate has no such method. A delegate method of
    // another signature is logged and counts as absent, so that the window can still close.
    void performClose(id sender);
    // Closes without asking.
    void close();

    // The sheet on top, or null. Sheets attach themselves when begun and leave when answered.
    NSSheet* attachedSheet() const { return m_sheets.empty() ? nullptr : m_sheets.back().get(); }
    const std::vector<Ref<NSSheet>>& sheets() const { return m_sheets; }

    nlohmann::json DescribeState() const override;

protected:
    // Sheets still up go down with the window, without an end message.
    ~NSWindow() override;

private:
    friend class NSSheet;
    void AttachSheet(Ref<NSSheet> sheet);
    void DetachSheet(NSSheet* sheet);

    void Changed();
    void FitContentView();

    std::string m_title;
    NSRect m_frame;
    bool m_displayed = false;
    bool m_animated = false;
    Ref<NSView> m_contentView;
    id m_delegate = nullptr;
    bool m_visible = false;
    bool m_key = false;
    std::vector<Ref<NSSheet>> m_sheets;
};
