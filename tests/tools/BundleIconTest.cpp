#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ReadWholeFile.h"
#include "TempDir.h"
#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

struct Entry {
    std::string type;
    std::string payload;
};

// The container as the format has it; an inconsistent length ends the list early.
std::vector<Entry> Entries(const std::string& icns) {
    std::vector<Entry> entries;
    for (size_t at = 8; at + 8 <= icns.size();) {
        const uint32_t length = BigEndian(icns, at + 4);
        if (length < 8 || at + length > icns.size()) {
            break;
        }
        entries.push_back({icns.substr(at, 4), icns.substr(at + 8, length - 8)});
        at += length;
    }
    return entries;
}

std::optional<std::string> OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path == nullptr ? "" : path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && fs::exists(fs::path(folder) / name)) {
            return (fs::path(folder) / name).string();
        }
    }
    return std::nullopt;
}

const std::string kIcon = std::string(HVX_BUILT_BUNDLE) + "/Resources/DissectaLogo.icns";

// Each size is a PNG file of its own, stored whole under the type that names its size.
TEST(BundleIconTest, HoldsOnePngImagePerSize) {
    const std::string icns = ReadWholeFile(kIcon);
    ASSERT_GE(icns.size(), 8U) << kIcon;
    EXPECT_EQ(icns.substr(0, 4), "icns");
    EXPECT_EQ(BigEndian(icns, 4), icns.size());

    const std::vector<Entry> entries = Entries(icns);
    const std::vector<std::pair<std::string, uint32_t>> expected{
        {"ic07", 128}, {"ic08", 256}, {"ic09", 512}};
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string& png = entries[i].payload;
        EXPECT_EQ(entries[i].type, expected[i].first);
        ASSERT_GE(png.size(), 24U);
        EXPECT_EQ(png.substr(0, 8), kPngSignature) << entries[i].type;
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        EXPECT_EQ(BigEndian(png, 16), expected[i].second) << "width of " << entries[i].type;
        EXPECT_EQ(BigEndian(png, 20), expected[i].second) << "height of " << entries[i].type;
    }
}

// An independent reader (icnsutils) lists the images and extracts one as PNG.
TEST(BundleIconTest, ReadsBackWithIcnsutils) {
    const std::optional<std::string> icns2png = OnPath("icns2png");
    if (!icns2png) {
        GTEST_SKIP() << "icns2png not found: install icnsutils to check the icon with it";
    }
    TempDir dir;
    ToolRun list(*icns2png, {"-l", kIcon}, dir.Path());
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("'ic08' 256x256 32-bit icon"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("'ic09' 512x512 32-bit icon"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("3 elements total"), std::string::npos) << list.out;

    // Everything it can decode (0.8.1 does not know ic07 yet); its "-s" picks sizes unreliably.
    ToolRun extract(*icns2png, {"-x", "-o", dir.Path().string(), kIcon}, dir.Path());
    ASSERT_EQ(extract.status, 0) << extract.err;
    const std::string extracted = ReadWholeFile(dir / "DissectaLogo_256x256x32.png");
    ASSERT_GE(extracted.size(), 24U) << extract.out;
    EXPECT_EQ(extracted.substr(0, 8), kPngSignature);
    EXPECT_EQ(BigEndian(extracted, 16), 256U);
}

// The drawing is a source: the bundle ships only the packed icon.
TEST(BundleIconTest, ShipsNoDrawing) {
    for (const auto& entry : fs::directory_iterator(fs::path(kIcon).parent_path())) {
        EXPECT_NE(entry.path().filename(), "icon");
        EXPECT_NE(entry.path().extension(), ".svg") << entry.path();
    }
}

} // namespace
