#pragma once

#include "capture/CaptureRecords.h"
#include "foundation/Geometry.h"
#include "runtime/NSObject.h"

// The category NSObject(HVXPlugIn): puts the two "sb_" initialisers into the root class, where the
// method exchange finds them.
void RegisterSafariMethods();

// The capture rule on its own: starts a fetch when the plug-in URL names a SWF movie and the page
// is not one of the system's own. Either may be null.
void CaptureSWFFromPlugin(id pluginURL, id baseURL);
