#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ScriptedTestPage.h"
#include "TempDir.h"
#include "browser/HostApplication.h"
#include "listwindow/HVXSWFListWindowController.h"

// A host with the plug-in's classes in place for the captured-SWF window: a home folder and
// settings of its own, a copy of the built bundle whose string table looks for the companion
// application inside that home folder, and scripted pages in every web view.
class ListWindowHarness : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Where the companion application is looked for; made by InstallDissecta.
    std::string DissectaPath() const { return home / "Dissecta.app"; }
    void InstallDissecta() const;
    // Stored settings, as the preferences window and the save workflow leave them.
    void StoreSettings(const nlohmann::json& preferences, std::optional<int64_t> saveMatrixIndex);

    // A caught movie: the file in the capture folder and its entry in the captured list.
    void Catch(const std::string& name, const std::vector<uint8_t>& bytes);
    // A 550x400 movie at that rate, frame count and version, plain or compressed, carrying
    // `padding` bytes of a tag nobody reads.
    static std::vector<uint8_t> Movie(double rate, uint16_t frames, uint8_t version = 10,
                                      bool compressed = true, size_t padding = 0);

    // Builds the window controller and loads its window, as the menu command does.
    HVXSWFListWindowController& OpenWindow();
    static ScriptedTestPage& PageOf(HVXBridgedWebView* view);
    // The calls the browser page received since the last look.
    std::vector<ScriptedTestPage::Call> NewPageCalls(HVXSWFListWindowController& controller);
    // Plays the page: it declares itself ready and the poll runs until it has sent the list.
    void PageBecomesReady(HVXSWFListWindowController& controller);

    // The escaped path the page is given for a caught movie.
    std::string PagePath(const std::string& name) const;

    TempDir home;
    std::string bundlePath;
    std::unique_ptr<HostApplication> host;

private:
    std::optional<std::string> m_previousHome;
    std::optional<std::string> m_previousConfig;
    // The page NewPageCalls last looked at (only compared) and how many calls it had seen.
    const ScriptedTestPage* m_seenPage = nullptr;
    size_t m_seenCalls = 0;
};
