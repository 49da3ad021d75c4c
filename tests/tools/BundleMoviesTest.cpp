#include <cmath>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TagWalk.h"
#include "swf/SWFBaseParse.h"

namespace {

// The movies the build writes into the bundle are the ones their descriptions give.
class BundleMoviesTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BundleMoviesTest, MatchesItsDescription) {
    std::string name = GetParam();
    std::ifstream in(std::string(HVX_MOVIE_DESCRIPTIONS) + "/" + name + ".json");
    nlohmann::json description = nlohmann::json::parse(in);
    std::string movie = std::string(HVX_BUILT_BUNDLE) + "/Resources/" + name + ".swf";

    CSWFBaseParse parser;
    ASSERT_TRUE(parser.ParseFileStructure(movie.c_str(), true)) << parser.FailureReason();
    EXPECT_EQ(parser.m_version, description["version"]);
    EXPECT_EQ(parser.m_frameWidth, description["width"]);
    EXPECT_EQ(parser.m_frameHeight, description["height"]);
    // Rates are kept to the nearest 1/256.
    double rate = std::round(description["frameRate"].get<double>() * 256) / 256;
    EXPECT_EQ(parser.m_frameRate, static_cast<float>(rate));
    EXPECT_EQ(parser.m_frameCount, description["frames"]);
    EXPECT_EQ(parser.m_isCompressed, description.value("compressed", false));
    EXPECT_EQ(parser.m_fileLength, parser.m_dataLength);

    TagWalk walk(parser);
    size_t shapes = description["shapes"].size();
    EXPECT_EQ(walk.Count(2) + walk.Count(32), shapes);
    EXPECT_EQ(walk.Count(26), shapes);
    EXPECT_EQ(walk.Count(1), description["frames"].get<size_t>());
    EXPECT_EQ(walk.Tags().back().end, parser.m_dataLength);

    ASSERT_TRUE(parser.ParseFileStructure(movie.c_str(), true));
    ASSERT_TRUE(parser.GetSWFInformation());
    std::string background = description["background"];
    EXPECT_EQ(parser.m_backgroundColor, std::stoul(background.substr(1), nullptr, 16));
}

// The descriptions are sources: neither their folder nor any of them is shipped.
TEST(BundleResourcesTest, HoldNoMovieDescriptions) {
    std::filesystem::path resources = std::string(HVX_BUILT_BUNDLE) + "/Resources";
    ASSERT_TRUE(std::filesystem::is_directory(resources));
    for (const auto& entry : std::filesystem::directory_iterator(resources)) {
        EXPECT_NE(entry.path().filename(), "movies");
        EXPECT_NE(entry.path().extension(), ".json") << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(PagesMovies, BundleMoviesTest,
                         ::testing::Values("SWFBrowser", "AdBrowser"));

} // namespace
