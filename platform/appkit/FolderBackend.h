#pragma once

#include <string>
#include <vector>

#include "foundation/Outcome.h"

// One entry of a folder as the open panel shows it.
struct FolderEntry {
    std::string name;
    bool isDirectory = false;

    bool operator==(const FolderEntry&) const = default;
};

// What the open panel asks of the native side: the listing of a folder. The panel only passes
// absolute paths; a backend answers the entries sorted by name with hidden ones (leading dot)
// left out, or the failure that kept it from listing.
class FolderBackend {
public:
    virtual ~FolderBackend() = default;

    virtual Outcome<std::vector<FolderEntry>> ListFolder(const std::string& folder) = 0;

protected:
    FolderBackend() = default;
    FolderBackend(const FolderBackend&) = default;
    FolderBackend& operator=(const FolderBackend&) = default;
};
