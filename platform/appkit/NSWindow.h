#pragma once

#include <string>
#include <vector>

#include "appkit/NSAlert.h"
#include "runtime/NSObject.h"

// A window as a model: a title and the sheets attached to it, newest last. Presenters (tests,
// the front end) read the sheets; nothing here draws.
class NSWindow : public NSObject {
public:
    NSWindow() : NSWindow(std::string()) {}
    explicit NSWindow(std::string title);
    static Class ClassObject();

    const std::string& title() const { return m_title; }
    void beginSheet(Ref<NSAlert> sheet);
    // The sheet on top, or null.
    NSAlert* attachedSheet() const { return m_sheets.empty() ? nullptr : m_sheets.back().get(); }
    const std::vector<Ref<NSAlert>>& sheets() const { return m_sheets; }

private:
    std::string m_title;
    std::vector<Ref<NSAlert>> m_sheets;
};
