#pragma once

#include <string>

#include "listwindow/HVXBridgedWebView.h"

// The web view of the browser page, which lists and plays the caught movies. The page reports
// the user's choice through "OnSelectedSWF", which this view passes on as the notification
// "SelectedSWFNum" carrying the index exactly as the page gave it.
class SwfWebView : public HVXBridgedWebView {
public:
    SwfWebView() : HVXBridgedWebView(ClassObject()) {}
    static Class ClassObject();

    void JSOnSelectedSWF(id index);
};
