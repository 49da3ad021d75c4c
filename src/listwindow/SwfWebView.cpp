#include "listwindow/SwfWebView.h"

#include "foundation/objects/NSNotificationCenter.h"
#include "listwindow/ListWindowNames.h"
#include "runtime/MemberMethod.h"

Class SwfWebView::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterPageClass<SwfWebView>("SwfWebView", {{"JSOnSelectedSWF:", "OnSelectedSWF"}});
        DefineMethod<&SwfWebView::JSOnSelectedSWF>(made, "JSOnSelectedSWF:");
        return made;
    }();
    return cls;
}

void SwfWebView::JSOnSelectedSWF(id index) {
    NSNotificationCenter::defaultCenter().postNotificationName(
        ListWindowNotifications::kSelectedSWFNum, index);
}
