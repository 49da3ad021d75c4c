#pragma once

#include <string>
#include <vector>

// What every part of the plug-in shares about capture: the list of caught movies and the folder
// they are kept in. Touched on the main thread only.

// One caught movie: its file name in the capture folder and the address it was fetched from.
struct CapturedSWF {
    std::string SWFName;
    std::string SWFAddress;
    friend bool operator==(const CapturedSWF&, const CapturedSWF&) = default;
};

// The captured-SWF list: in the order the fetches finished; no two entries share a name or an
// address. Only ever appended to.
extern std::vector<CapturedSWF> m_arraySWFUrl;
// The capture folder: the home folder's "Documents/SWFHarvexData".
extern std::string m_downSWFPath;

// The capture folder below a home folder.
std::string CaptureFolderInHome(const std::string& home);

// Builds the two records afresh (the list empty, the folder from the current home folder), as
// the bundle does when it is loaded.
void InitialiseCaptureRecords();

// Records a finished fetch; false (nothing recorded) when an entry already has its name or its
// address.
bool RecordCapturedSWF(CapturedSWF entry);

// The path of a caught movie in the capture folder.
std::string CapturedSWFPath(const std::string& name);

// Whether `url` names a SWF movie, and under which file name it is kept ("" when it does not).
std::string CapturedFileName(const std::string& url);
