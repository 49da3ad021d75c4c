#pragma once

#include <chrono>
#include <filesystem>
#include <string>

// How the Chromium engine runs its browser and when it counts a page as done.
struct ChromiumOptions {
    std::string executable; // empty: ChromiumProcess::Find()
    bool headless = true;
    // A page is done once its load event has fired and it is quiet: no request in flight, no
    // timer due within `settle`, in none of its frames (with a short grace for what a finished
    // request sets off). A page that never rests is done once neither its network nor its plug-in
    // objects have changed for `settle`.
    std::chrono::milliseconds settle{2000};
    // ... or when this much has passed since it started, whatever it is doing.
    std::chrono::milliseconds pageTimeout{30000};
    // Whether a done page stays open and goes on reporting objects (a window a person looks at)
    // or is closed (a capture).
    bool keepPagesOpen = false;
    // Whether the pages' images, fonts, media and beacons are refused (nobody sees the pages).
    bool fetchForCaptureOnly = false;
    // Whether a page's links are read once it is done (a crawl follows them).
    bool readLinks = false;
    // When set, the pages' movies play with the player (Ruffle) in this folder, as they did in a
    // browser with Flash; what is caught does not change.
    std::filesystem::path playerRoot;
};
