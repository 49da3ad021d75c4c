#include "listwindow/SwfWebView.h"

#include "foundation/objects/NSNotificationCenter.h"
#include "runtime/MessageSend.h"

namespace {

void OnSelectedSWF(id self, SEL /*cmd*/, id index) {
    dynamic_cast<SwfWebView*>(self)->JSOnSelectedSWF(index);
}

} // namespace

Class SwfWebView::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterPageClass<SwfWebView>("SwfWebView", {{"JSOnSelectedSWF:", "OnSelectedSWF"}});
        class_defineMethod(made, "JSOnSelectedSWF:", &OnSelectedSWF);
        return made;
    }();
    return cls;
}

void SwfWebView::JSOnSelectedSWF(id index) {
    NSNotificationCenter::defaultCenter().postNotificationName("SelectedSWFNum", index);
}
