#pragma once

#include <string>

#include "foundation/Outcome.h"
#include "foundation/defaults/NSBundle.h"

// Brings a plug-in bundle into the host process: opens its module (Info.json "NSExecutable"),
// has it register its classes and categories ("hvx_bundle_register"), records the bundle as
// theirs, then sends `load` to every class of the bundle that implements it on the class side.
// Modules stay loaded for the life of the process: the runtime keeps pointers into them.
class BundleLoader {
public:
    // A failure names the bundle and says why.
    static Outcome<Ref<NSBundle>> loadBundle(const std::string& path);
};
