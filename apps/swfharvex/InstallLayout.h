#pragma once

#include <filesystem>

// Where an installed (or built) SWFHarvex keeps its parts, relative to the command's folder and
// the folder that holds it: the build tree and an install have the same shape.
class InstallLayout {
public:
    // The layout around the running program.
    static InstallLayout OfRunningProgram();
    explicit InstallLayout(std::filesystem::path programFolder)
        : m_programFolder(std::move(programFolder)), m_root(m_programFolder.parent_path()) {}

    // The plug-in bundle the host loads.
    std::filesystem::path Bundle() const { return m_root / "SWFHarvex.bundle"; }
    // The desktop's page and scripts.
    std::filesystem::path WebRoot() const { return m_root / "frontend" / "web"; }
    // Ruffle as the scripts install it.
    std::filesystem::path Player() const {
        return m_root / "player" / "node_modules" / "@ruffle-rs" / "ruffle";
    }
    // The program that reads a page without scripts, in a process of its own.
    std::filesystem::path PageReader() const { return m_programFolder / "swfharvex-page-reader"; }
    // The companion application as the build makes it (scripts/run copies it where the plug-in
    // looks for it).
    std::filesystem::path Companion() const { return m_root / "apps" / "Dissecta.app"; }

private:
    std::filesystem::path m_programFolder;
    std::filesystem::path m_root;
};
