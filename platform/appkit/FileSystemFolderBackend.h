#pragma once

#include "appkit/FolderBackend.h"

// Lists folders of the real file system. Links count as what they point to; an entry whose
// kind cannot be read (a dangling link) counts as a file.
class FileSystemFolderBackend : public FolderBackend {
public:
    Outcome<std::vector<FolderEntry>> ListFolder(const std::string& folder) override;
};
