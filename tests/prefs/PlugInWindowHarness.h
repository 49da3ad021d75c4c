#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "RecordingWorkspaceBackend.h"
#include "ScopedConfigHome.h"
#include "ScriptedFolderBackend.h"
#include "browser/HostApplication.h"
#include "foundation/defaults/NSBundle.h"

// A host with the plug-in's classes loaded from a copy of the built bundle, a home folder and
// settings of its own, a workspace that records what it is asked to open and a folder chooser
// that lists only the folders a test scripts.
class PlugInWindowHarness : public ::testing::Test {
protected:
    // The version and copyright the copy's Info.json is given, and the copyright its
    // InfoPlist.strings translates that into.
    static constexpr const char* kVersion = "7.5.3";
    static constexpr const char* kCopyright = "Copyright 2031 the test";
    static constexpr const char* kTranslatedCopyright = "Droit d'auteur 2031";

    void SetUp() override;
    void TearDown() override;

    std::string Home() const { return m_home.Home(); }
    // Replaces a text of the copy's string table; only before a window first reads it.
    void SetLocalString(const std::string& key, const std::string& value) const;
    void RemoveResource(const std::string& name) const;
    // The host's settings as they are on disk; an empty object when nothing was written.
    nlohmann::json StoredDefaults() const;
    // The stored settings dictionary's value for a key; null when absent.
    nlohmann::json StoredPreference(const std::string& key) const;
    // Runs the main run loop until everything posted so far (a sheet's end) has run.
    static void Drain();

    ScopedConfigHome m_home;
    std::string bundlePath;
    NSBundle* bundle = nullptr;
    std::unique_ptr<HostApplication> host;
    RecordingWorkspaceBackend* workspace = nullptr; // owned by the workspace
    ScriptedFolderBackend* folders = nullptr;       // owned by the open panel

private:
    std::unique_ptr<WorkspaceBackend> m_previousWorkspace;
    std::unique_ptr<FolderBackend> m_previousFolders;
};
