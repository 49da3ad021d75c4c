#pragma once

#include <functional>
#include <memory>
#include <string>

#include <httplib.h>

#include "TempDir.h"
#include "server/DesktopPresenter.h"
#include "server/DesktopServer.h"

// A desktop server on an ephemeral port over a temporary folder holding the renderer's files
// (web/), the three served folders (resources/, capture/, player/) and a secret beside them.
class DesktopHarness {
public:
    explicit DesktopHarness(size_t eventsPerSecond = 100);

    httplib::Client Client() const;
    // The cookie, plus the header that requests changing state need.
    httplib::Headers Auth() const;
    // Runs `request` on another thread while the main run loop runs, as the server's answers to
    // events and streams need the main thread.
    httplib::Result OffMain(const std::function<httplib::Result()>& request) const;

    TempDir dir;
    std::string token;
    std::shared_ptr<DesktopPresenter> presenter;
    std::unique_ptr<DesktopServer> server;
};

// The first HTTP header line of a Result, or an empty string.
std::string Header(const httplib::Result& result, const std::string& name);
