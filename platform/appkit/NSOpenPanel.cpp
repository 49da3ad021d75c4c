#include "appkit/NSOpenPanel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "appkit/FileSystemFolderBackend.h"
#include "foundation/FileManager.h"
#include "foundation/PathString.h"
#include "foundation/objects/RuntimeClass.h"

namespace {

std::unique_ptr<FolderBackend>& Backend() {
    static std::unique_ptr<FolderBackend> backend = std::make_unique<FileSystemFolderBackend>();
    return backend;
}

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// An absolute path without ".", ".." or a trailing "/" (except the root); none for a relative
// path, which would depend on a working folder the user never sees.
std::optional<std::string> NormalAbsolutePath(const std::string& path) {
    if (!path.starts_with("/")) {
        return std::nullopt;
    }
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    if (normal.size() > 1 && normal.ends_with("/")) {
        normal.pop_back();
    }
    return normal;
}

} // namespace

[[maybe_unused]] static const Class kRegistered = NSOpenPanel::ClassObject();

NSOpenPanel::NSOpenPanel() : NSSheet(ClassObject()) {
}

Class NSOpenPanel::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSOpenPanel>("NSOpenPanel", NSSheet::ClassObject());
    return cls;
}

Ref<NSOpenPanel> NSOpenPanel::openPanel() {
    return MakeRef<NSOpenPanel>();
}

std::unique_ptr<FolderBackend> NSOpenPanel::setBackend(std::unique_ptr<FolderBackend> backend) {
    if (!backend) {
        backend = std::make_unique<FileSystemFolderBackend>();
    }
    std::swap(backend, Backend());
    return backend;
}

void NSOpenPanel::SetFlag(bool& flag, bool value) {
    if (flag != value) {
        flag = value;
        Changed();
    }
}

void NSOpenPanel::setCanChooseDirectories(bool flag) {
    SetFlag(m_canChooseDirectories, flag);
}

void NSOpenPanel::setCanChooseFiles(bool flag) {
    SetFlag(m_canChooseFiles, flag);
}

void NSOpenPanel::setAllowsMultipleSelection(bool flag) {
    SetFlag(m_allowsMultipleSelection, flag);
}

void NSOpenPanel::beginSheetForDirectory(const std::string& directory, const std::string& file,
                                         const std::vector<std::string>& types, NSWindow* docWindow,
                                         id modalDelegate, SEL didEndSelector,
                                         int64_t contextInfo) {
    if (!CanBeginOn(docWindow)) {
        return;
    }
    m_types.clear();
    for (const std::string& type : types) {
        // ".swf" and "swf" name the same type.
        m_types.push_back(Lowercase(type.starts_with(".") ? type.substr(1) : type));
    }
    m_file = file;
    m_filenames.clear();
    std::string start = directory.empty() ? NSHomeDirectory() : directory;
    if (Outcome<> shown = Show(start); !shown) {
        m_directory = NormalAbsolutePath(start).value_or(start);
        m_listing.clear();
        m_error = shown.failure().message();
    }
    BeginSheet(docWindow, modalDelegate, didEndSelector, contextInfo);
}

Outcome<> NSOpenPanel::Show(const std::string& folder) {
    std::optional<std::string> normal = NormalAbsolutePath(folder);
    if (!normal) {
        return Failure{folder, "not an absolute path"};
    }
    Outcome<std::vector<FolderEntry>> listing = Backend()->ListFolder(*normal);
    if (!listing) {
        return listing.failure();
    }
    m_directory = *normal;
    m_listing = std::move(listing).value();
    m_error.reset();
    return {};
}

bool NSOpenPanel::MayChooseFile(const std::string& name) const {
    if (!m_canChooseFiles) {
        return false;
    }
    return m_types.empty() || std::find(m_types.begin(), m_types.end(),
                                        Lowercase(pathExtension(name))) != m_types.end();
}

std::vector<FolderEntry> NSOpenPanel::entries() const {
    std::vector<FolderEntry> shown;
    std::copy_if(m_listing.begin(), m_listing.end(), std::back_inserter(shown),
                 [this](const FolderEntry& entry) {
                     return entry.isDirectory || MayChooseFile(entry.name);
                 });
    return shown;
}

bool NSOpenPanel::Refuse(const Failure& failure) {
    m_error = failure.message();
    Changed();
    return false;
}

bool NSOpenPanel::navigateTo(const std::string& folder) {
    if (!isSheetUp()) {
        return false;
    }
    if (Outcome<> shown = Show(folder); !shown) {
        return Refuse(shown.failure());
    }
    Changed();
    return true;
}

Outcome<std::vector<std::string>>
NSOpenPanel::Checked(const std::vector<std::string>& paths) const {
    if (paths.empty()) {
        return Failure{"choose", "nothing was chosen"};
    }
    if (paths.size() > 1 && !m_allowsMultipleSelection) {
        return Failure{"choose", "only one item may be chosen"};
    }
    std::vector<std::string> chosen;
    for (const std::string& path : paths) {
        std::optional<std::string> normal = NormalAbsolutePath(path);
        if (!normal || *normal == "/") {
            return Failure{path, "not an absolute path to a file or folder"};
        }
        std::filesystem::path item(*normal);
        // The backend's word, not the local disk's: the panel offers what the backend lists.
        Outcome<std::vector<FolderEntry>> listing =
            Backend()->ListFolder(item.parent_path().string());
        if (!listing) {
            return listing.failure();
        }
        std::string name = item.filename().string();
        auto found = std::find_if(listing.value().begin(), listing.value().end(),
                                  [&name](const FolderEntry& entry) { return entry.name == name; });
        if (found == listing.value().end()) {
            return Failure{path, "no such file or folder"};
        }
        if (found->isDirectory && !m_canChooseDirectories) {
            return Failure{path, "folders cannot be chosen here"};
        }
        if (!found->isDirectory && !MayChooseFile(name)) {
            return Failure{path, m_canChooseFiles ? "not of a type that can be opened here"
                                                  : "files cannot be chosen here"};
        }
        if (std::find(chosen.begin(), chosen.end(), *normal) == chosen.end()) {
            chosen.push_back(*normal);
        }
    }
    return chosen;
}

bool NSOpenPanel::choose(const std::vector<std::string>& paths) {
    if (!isSheetUp()) {
        return false;
    }
    Outcome<std::vector<std::string>> chosen = Checked(paths);
    if (!chosen) {
        return Refuse(chosen.failure());
    }
    m_filenames = std::move(chosen).value();
    m_error.reset();
    return endSheet(NSOKButton);
}

bool NSOpenPanel::cancel() {
    if (!isSheetUp()) {
        return false;
    }
    m_filenames.clear();
    return endSheet(NSCancelButton);
}

nlohmann::json NSOpenPanel::DescribeState() const {
    nlohmann::json entries = nlohmann::json::array();
    for (const FolderEntry& entry : this->entries()) {
        entries.push_back({{"name", entry.name}, {"isDirectory", entry.isDirectory}});
    }
    return {{"class", NSStringFromClass(isa())},
            {"directory", m_directory},
            {"file", m_file},
            {"canChooseDirectories", m_canChooseDirectories},
            {"canChooseFiles", m_canChooseFiles},
            {"allowsMultipleSelection", m_allowsMultipleSelection},
            {"types", m_types},
            {"entries", entries},
            {"error", m_error ? nlohmann::json(*m_error) : nlohmann::json()}};
}
