#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appkit/FolderBackend.h"
#include "appkit/NSSheet.h"

class NSWindow;

// An open panel as a model, shown as a sheet: the folder it shows, the entries one may open or
// enter there, and what may be chosen. Folder listings come from a replaceable backend (the real
// file system by default; tests script one). The presenter navigates, chooses or cancels; the
// delegate's end message carries NSOKButton or NSCancelButton, and after OK filenames() holds
// the chosen absolute paths.
class NSOpenPanel : public NSSheet {
public:
    static constexpr int64_t NSOKButton = 1;
    static constexpr int64_t NSCancelButton = 0;

    NSOpenPanel();
    static Class ClassObject();
    // A fresh panel (not a shared one: two windows may each show their own).
    static Ref<NSOpenPanel> openPanel();

    // Installs the backend every panel lists folders with and answers the previous one (null
    // restores the real file system's). Main thread only.
    static std::unique_ptr<FolderBackend> setBackend(std::unique_ptr<FolderBackend> backend);

    bool canChooseDirectories() const { return m_canChooseDirectories; }
    void setCanChooseDirectories(bool flag);
    bool canChooseFiles() const { return m_canChooseFiles; }
    void setCanChooseFiles(bool flag);
    bool allowsMultipleSelection() const { return m_allowsMultipleSelection; }
    void setAllowsMultipleSelection(bool flag);

    // Shows the panel on `docWindow` at `directory` (the home folder when empty), with `file`
    // as the suggested selection. `types` are file name extensions, compared without regard to
    // case; an empty list allows any file. A folder that cannot be listed is shown empty, with
    // the reason as the panel's error. Nothing happens without a window.
    void beginSheetForDirectory(const std::string& directory, const std::string& file,
                                const std::vector<std::string>& types, NSWindow* docWindow,
                                id modalDelegate, SEL didEndSelector, int64_t contextInfo);

    const std::string& directory() const { return m_directory; }
    // What the panel offers in its folder: every subfolder (to enter, or to choose when
    // allowed) and the files that may be chosen.
    std::vector<FolderEntry> entries() const;
    // The failure of the last refused request, if the last request was refused.
    const std::optional<std::string>& error() const { return m_error; }
    // The chosen absolute paths after OK; empty otherwise.
    const std::vector<std::string>& filenames() const { return m_filenames; }

    // Presenter events, for a panel that is up. navigateTo shows another folder: an absolute
    // one the backend can list; otherwise the panel stays where it was and shows why.
    bool navigateTo(const std::string& folder);
    // Checks every path against the panel's rules and the backend's listing of its folder, then
    // ends with NSOKButton. A refusal keeps the panel up and shows why.
    bool choose(const std::vector<std::string>& paths);
    bool cancel();

    nlohmann::json DescribeState() const override;

private:
    // Lists `folder` and shows it; on failure nothing changes.
    Outcome<> Show(const std::string& folder);
    Outcome<std::vector<std::string>> Checked(const std::vector<std::string>& paths) const;
    bool MayChooseFile(const std::string& name) const;
    bool Refuse(const Failure& failure);
    void SetFlag(bool& flag, bool value);

    bool m_canChooseDirectories = false;
    bool m_canChooseFiles = true;
    bool m_allowsMultipleSelection = false;
    std::vector<std::string> m_types;
    std::string m_file;
    std::string m_directory;
    std::vector<FolderEntry> m_listing;
    std::optional<std::string> m_error;
    std::vector<std::string> m_filenames;
};
