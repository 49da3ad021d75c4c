#pragma once

#include <chrono>

#include "appkit/NSButton.h"
#include "appkit/NSTextField.h"
#include "foundation/RunLoop.h"
#include "runtime/NSObject.h"

class HostApplication;

// The host browser's own window: an address field whose page the host loads with the Load
// button, what the loaded pages held (each plug-in object's URL and whether it was fetched), and
// the transfers running now. It draws into the host's main window; the texts are refreshed a
// few times a second while anything can still change.
class HostWindowController : public NSObject {
public:
    static constexpr const char* kLoadPageSelector = "loadPage:";

    explicit HostWindowController(HostApplication& host);
    ~HostWindowController() override;
    HostWindowController(const HostWindowController&) = delete;
    HostWindowController& operator=(const HostWindowController&) = delete;
    HostWindowController(HostWindowController&&) = delete;
    HostWindowController& operator=(HostWindowController&&) = delete;
    static Class ClassObject();

    // The Load button's action: loads the address field's text as a page.
    void loadPage(id sender);
    // Rewrites the pages' report and the transfers, where they changed.
    void Refresh();

    Ref<NSTextField> address;
    Ref<NSButton> loadButton;
    Ref<NSTextField> status;
    Ref<NSTextField> pluginObjects;
    Ref<NSTextField> transfers;

private:
    HostApplication& m_host;
    RunLoop::TimerId m_refreshTimer = 0;
    uint64_t m_endListener = 0;
    RunLoop::TimerId m_soonTimer = 0;
    std::chrono::steady_clock::time_point m_lastRefresh;
};
