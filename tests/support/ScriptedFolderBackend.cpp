#include "ScriptedFolderBackend.h"

#include <algorithm>

void ScriptedFolderBackend::AddFolder(const std::string& folder, std::vector<FolderEntry> entries) {
    std::erase_if(entries, [](const FolderEntry& entry) { return entry.name.starts_with("."); });
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    m_folders.insert_or_assign(folder, std::move(entries));
}

void ScriptedFolderBackend::FailFolder(const std::string& folder, std::string why) {
    m_folders.insert_or_assign(folder, Failure{folder, std::move(why)});
}

Outcome<std::vector<FolderEntry>> ScriptedFolderBackend::ListFolder(const std::string& folder) {
    m_asked.push_back(folder);
    auto found = m_folders.find(folder);
    if (found == m_folders.end()) {
        return Failure{folder, "No such file or directory"};
    }
    return found->second;
}
