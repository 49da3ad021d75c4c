#pragma once

#include <string>

#include "listwindow/HVXBridgedWebView.h"

// The web view of the small advertising page, whose links open in the user's default
// application for them through "OnClickAdSWF".
class AdWebView : public HVXBridgedWebView {
public:
    AdWebView() : HVXBridgedWebView(ClassObject()) {}
    static Class ClassObject();

    void JSOnClickAdSWF(const std::string& url);
};
