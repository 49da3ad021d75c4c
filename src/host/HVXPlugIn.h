#pragma once

#include "runtime/NSObject.h"

// The host the plug-in acts in.
inline constexpr const char* safariAppKey = "com.apple.Safari";

// The bundle's entry: the runtime sends the class `load` once the bundle is in the process.
// Inside the one host it was made for, it puts the menu in, clears the capture folder of the last
// run and installs the capture in front of the host's plug-in view initialiser; anywhere else it
// does nothing. No instance is ever made.
class HVXPlugIn : public NSObject {
public:
    static Class ClassObject();

    static void load();
    static void applicationDidFinishLaunching(id notification);
};

// Registers every class and category of the plug-in with the runtime and builds the shared
// capture records: what the module's entry does when a host loads the bundle.
void RegisterPlugInClasses();
