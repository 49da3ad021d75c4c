#include "listwindow/HVXSWFListWindowMethods.h"

#include "listwindow/HVXSWFListWindowController.h"
#include "runtime/MessageSend.h"

namespace {

HVXSWFListWindowController* Self(id self) {
    return dynamic_cast<HVXSWFListWindowController*>(self);
}
NSSplitView* SplitView(id object) {
    return dynamic_cast<NSSplitView*>(object);
}

id Shared(id /*self*/, SEL /*cmd*/) {
    return HVXSWFListWindowController::sharedSWFListWindowController();
}
void Release(id /*self*/, SEL /*cmd*/) {
    HVXSWFListWindowController::ReleaseSWFListWindowController();
}

void AwakeFromNib(id self, SEL /*cmd*/) {
    Self(self)->awakeFromNib();
}
void OnReload(id self, SEL /*cmd*/, id sender) {
    Self(self)->onReload(sender);
}
// Saving and handing a movie to the companion arrive with their own workflows; until then the
// buttons are connected and do nothing.
void NotYetAvailable(id /*self*/, SEL /*cmd*/, id /*sender*/) {
}
void SWFIsReady(id self, SEL /*cmd*/, id timer) {
    Self(self)->SWFIsReady(timer);
}
void SetSWFInfo(id self, SEL /*cmd*/, id notification) {
    Self(self)->setSWFInfo(notification);
}
bool WindowShouldClose(id self, SEL /*cmd*/, id sender) {
    return Self(self)->windowShouldClose(sender);
}

bool ShouldHideDivider(id self, SEL /*cmd*/, id splitView, int64_t index) {
    return Self(self)->splitViewShouldHideDividerAtIndex(SplitView(splitView), index);
}
bool CanCollapse(id self, SEL /*cmd*/, id splitView, id subview) {
    return Self(self)->splitViewCanCollapseSubview(SplitView(splitView),
                                                   dynamic_cast<NSView*>(subview));
}
float ConstrainMin(id self, SEL /*cmd*/, id splitView, float proposed, int64_t index) {
    return Self(self)->splitViewConstrainMinCoordinate(SplitView(splitView), proposed, index);
}
float ConstrainMax(id self, SEL /*cmd*/, id splitView, float proposed, int64_t index) {
    return Self(self)->splitViewConstrainMaxCoordinate(SplitView(splitView), proposed, index);
}
float ConstrainPosition(id self, SEL /*cmd*/, id splitView, float proposed, int64_t index) {
    return Self(self)->splitViewConstrainSplitPosition(SplitView(splitView), proposed, index);
}

} // namespace

void RegisterListWindowMethods(Class cls) {
    Class meta = object_getClass(cls);
    class_defineMethod(meta, "sharedSWFListWindowController", &Shared);
    class_defineMethod(meta, "ReleaseSWFListWindowController", &Release);

    class_defineMethod(cls, "awakeFromNib", &AwakeFromNib);
    class_defineMethod(cls, "onReload:", &OnReload);
    class_defineMethod(cls, "onSaveSWF:", &NotYetAvailable);
    class_defineMethod(cls, "onOpenSWF:", &NotYetAvailable);
    class_defineMethod(cls, "onBrowse:", &NotYetAvailable);
    class_defineMethod(cls, "SWFIsReady:", &SWFIsReady);
    class_defineMethod(cls, "setSWFInfo:", &SetSWFInfo);
    class_defineMethod(cls, "windowShouldClose:", &WindowShouldClose);

    class_defineMethod(cls, "splitView:shouldHideDividerAtIndex:", &ShouldHideDivider);
    class_defineMethod(cls, "splitView:canCollapseSubview:", &CanCollapse);
    class_defineMethod(cls, "splitView:constrainMinCoordinate:ofSubviewAt:", &ConstrainMin);
    class_defineMethod(cls, "splitView:constrainMaxCoordinate:ofSubviewAt:", &ConstrainMax);
    class_defineMethod(cls, "splitView:constrainSplitPosition:ofSubviewAt:", &ConstrainPosition);
}
