#pragma once

#include <map>
#include <string>
#include <vector>

#include "appkit/FolderBackend.h"

// A folder backend for tests: answers the folders it was given (sorted, hidden entries left
// out, as the real one does), a scripted failure, or "no such folder" for any other path. It
// counts the listings it was asked for.
class ScriptedFolderBackend : public FolderBackend {
public:
    void AddFolder(const std::string& folder, std::vector<FolderEntry> entries);
    void FailFolder(const std::string& folder, std::string why);

    Outcome<std::vector<FolderEntry>> ListFolder(const std::string& folder) override;
    const std::vector<std::string>& asked() const { return m_asked; }

private:
    std::map<std::string, Outcome<std::vector<FolderEntry>>> m_folders;
    std::vector<std::string> m_asked;
};
