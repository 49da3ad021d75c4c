#pragma once

#include <string>
#include <vector>

#include "foundation/Geometry.h"
#include "runtime/NSObject.h"

// One caught movie: its file name in the capture folder and the address it was fetched from.
struct CapturedSWF {
    std::string SWFName;
    std::string SWFAddress;
    friend bool operator==(const CapturedSWF&, const CapturedSWF&) = default;
};

// The captured-SWF list: in the order the fetches finished; no two entries share a name or an
// address. Only ever appended to, on the main thread.
extern std::vector<CapturedSWF> m_arraySWFUrl;
// The capture folder: the home folder's "Documents/SWFHarvexData".
extern std::string m_downSWFPath;

// Builds the two records afresh (the list empty, the folder from the current home folder), as
// the bundle does when it is loaded.
void InitialiseCaptureRecords();

// The category NSObject(HVXPlugIn): puts the two "sb_" initialisers into the root class, where the
// method exchange finds them.
void RegisterSafariMethods();

// The capture rule on its own: starts a fetch when the plug-in URL names a SWF movie and the page
// is not one of the system's own. Either may be null.
void CaptureSWFFromPlugin(id pluginURL, id baseURL);

// Whether `url` names a SWF movie, and under which file name it is kept ("" when it does not).
std::string CapturedFileName(const std::string& url);
