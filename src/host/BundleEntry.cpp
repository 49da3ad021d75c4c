// The module's one entry point, found by name by the host's bundle loader.
#include "host/HVXPlugIn.h"

extern "C" __attribute__((visibility("default"))) void hvx_bundle_register() {
    RegisterPlugInClasses();
}
