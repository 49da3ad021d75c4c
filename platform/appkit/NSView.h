#pragma once

#include <vector>

#include "appkit/ModelObject.h"
#include "foundation/Geometry.h"

// A rectangle of a window's content, with subviews. Its frame is in its superview's
// coordinates (origin bottom-left, unless the superview is flipped). A view holds its
// subviews; the superview back-pointer is not retained and is cleared when the superview goes.
class NSView : public ModelObject {
public:
    NSView();
    static Class ClassObject();

    const NSRect& frame() const { return m_frame; }
    void setFrame(NSRect frame);
    // Whether the subviews' frames run downward from this view's top edge.
    virtual bool isFlipped() const { return false; }

    const std::vector<Ref<NSView>>& subviews() const { return m_subviews; }
    NSView* superview() const { return m_superview; }
    // Refused (false, nothing changes) for a view that already has a superview, or for this
    // view or one above it: views form a tree.
    bool addSubview(Ref<NSView> view);
    void removeFromSuperview();

    nlohmann::json DescribeState() const override;

protected:
    explicit NSView(Class isa);
    ~NSView() override;
    // Tells this view's observers. Subclasses call it after their own changes.
    void Changed();
    // The fields every view describes; subclasses add theirs.
    nlohmann::json DescribeView() const;

private:
    NSRect m_frame;
    std::vector<Ref<NSView>> m_subviews;
    NSView* m_superview = nullptr;
};
