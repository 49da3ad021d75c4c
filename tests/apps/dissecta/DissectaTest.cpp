#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DissectaCommand.h"
#include "Dissector.h"
#include "PlantedMovie.h"
#include "ReadWholeFile.h"
#include "RecordingWorkspaceBackend.h"
#include "Reports.h"
#include "SwfWriter.h"
#include "TempDir.h"
#include "appkit/NSWorkspace.h"

using namespace Planted;

namespace {

using TagRow = std::tuple<uint16_t, int, uint32_t>; // code, depth, length
using ReferenceRow = std::pair<std::string, std::string>;

std::vector<TagRow> Rows(const Dissection& dissection) {
    std::vector<TagRow> rows;
    for (const Dissection::Tag& tag : dissection.tags) {
        rows.emplace_back(tag.code, tag.depth, tag.length);
    }
    return rows;
}

class DissectaTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = folder / name;
        SwfWriter::WriteFile(path, bytes);
        return path;
    }
    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return DissectaCommand::Run(args, out, err);
    }

    TempDir folder;
    std::ostringstream out;
    std::ostringstream err;
};

// A counted string of the new virtual machine's string table.
Bytes AbcString(const std::string& text) {
    return U30(static_cast<uint32_t>(text.size())) + Bytes(text.begin(), text.end());
}

// A movie with every place the dissector looks into, each holding one thing to find.
struct PlantedMovie {
    Bytes spriteAction = Action(0x83, Text("http://a.example/x.swf") + Text("_blank")) + Bytes{0};
    Bytes sprite = Word(3) + Word(1) + Tag(26, {0x02, 1, 0, 3, 0}) + Tag(12, spriteAction) +
                   Tag(1, {}) + Word(0);
    Bytes mainAction =
        Action(0x88, Word(2) + Text("data/config.xml") + Text("hello")) +
        Action(0x96, Bytes{0} + Text("movies/intro.swf") + Bytes{0} + Text("_level1")) +
        Action(0x9A, {0x40}) + Bytes{0};
    Bytes abc = Bytes{1, 0, 0, 0} + Text("frame1") + Word(16) + Word(46) + U30(2) + U30(300) +
                U30(0) + U30(0) + U30(4) + AbcString("flash.display") +
                AbcString("assets/song.mp3") + AbcString("http://cdn.example/lib.swf");
    Bytes button = Word(5) + Bytes{0} + Word(2) + Word(0) + Word(0) +
                   Action(0x83, Text("page.txt") + Text("")) + Bytes{0};
    Bytes imports = Text("shared/lib.swf") + Word(0);

    Bytes Tags() const {
        return Tag(69, {0x08, 0, 0, 0}) + Tag(9, {1, 2, 3}) + Tag(2, Bytes(10, 0)) +
               Tag(39, sprite) + Tag(12, mainAction) + Tag(57, imports) + Tag(82, abc) +
               Tag(34, button) + Tag(1, {});
    }
    std::vector<TagRow> Rows() const {
        auto size = [](const Bytes& bytes) { return static_cast<uint32_t>(bytes.size()); };
        return {{69, 0, 4},
                {9, 0, 3},
                {2, 0, 10},
                {39, 0, size(sprite)},
                {26, 1, 5},
                {12, 1, size(spriteAction)},
                {1, 1, 0},
                {0, 1, 0},
                {12, 0, size(mainAction)},
                {57, 0, size(imports)},
                {82, 0, size(abc)},
                {34, 0, size(button)},
                {1, 0, 0},
                {0, 0, 0}};
    }
};

} // namespace

TEST_F(DissectaTest, ListsEveryPlantedTagAndReferenceInOrderInBothForms) {
    const PlantedMovie planted;
    const Bytes plain = Movie(planted.Tags());
    Bytes packed = SwfWriter::Header('C', 10, static_cast<uint32_t>(plain.size())) +
                   SwfWriter::Deflate(Bytes(plain.begin() + 8, plain.end()));
    for (const auto& [name, bytes] : {std::pair{"plain.swf", plain}, {"packed.swf", packed}}) {
        SCOPED_TRACE(name);
        const Dissection dissection = Dissector::Dissect(Write(name, bytes));
        ASSERT_TRUE(dissection.Readable()) << dissection.facts.error;
        EXPECT_FALSE(dissection.stoppedAt) << dissection.stoppedAt->reason;
        EXPECT_EQ(Rows(dissection), planted.Rows());
        EXPECT_EQ(dissection.tags[3].name, std::string("DefineSprite"));
        EXPECT_EQ(dissection.tags[0].offset, 21U);
        std::vector<ReferenceRow> references;
        for (const Dissection::Reference& reference : dissection.references) {
            references.emplace_back(reference.text,
                                    reference.where.substr(reference.where.find(':') + 2));
        }
        EXPECT_EQ(references,
                  (std::vector<ReferenceRow>{{"http://a.example/x.swf", "getURL into _blank"},
                                             {"data/config.xml", "constant pool"},
                                             {"movies/intro.swf", "loadMovie"},
                                             {"shared/lib.swf", "imported assets"},
                                             {"assets/song.mp3", "string table"},
                                             {"http://cdn.example/lib.swf", "string table"},
                                             {"page.txt", "getURL"}}));
        EXPECT_EQ(dissection.references[0].where.rfind("DoAction at 0x", 0), 0U);
        const Dissection::Summary& summary = dissection.summary;
        EXPECT_EQ(std::tie(summary.shapes, summary.sprites, summary.buttons, summary.frames),
                  std::make_tuple(1, 1, 1, 1));
        EXPECT_TRUE(summary.hasAVM1);
        EXPECT_TRUE(summary.hasAVM2);
        EXPECT_EQ(summary.minVersion, 9);
        EXPECT_EQ(dissection.facts.tags->backgroundColor, 0x010203U);
    }
}

// Hostile movies give what was read up to where reading stopped, and say where and why.
TEST_F(DissectaTest, HostileMoviesGiveAPartialReportThatSaysWhereReadingStopped) {
    Bytes nested = Tag(1, {});
    for (int i = 0; i < 100; ++i) {
        nested = Sprite(static_cast<uint16_t>(i + 1), nested);
    }
    Bytes manyFrames;
    for (int i = 0; i < 100'000; ++i) {
        manyFrames.insert(manyFrames.end(), {0x40, 0x00});
    }
    // Stored without compression, the stream cut after its first 50 frames (the zlib and block
    // headers take 7 bytes, the frame rectangle, rate and count 13).
    const Bytes hundred = Movie(Bytes(manyFrames.begin(), manyFrames.begin() + 200));
    const Bytes stored = SwfWriter::Deflate(Bytes(hundred.begin() + 8, hundred.end()), 0);
    const Bytes cut = SwfWriter::Header('C', 10, static_cast<uint32_t>(hundred.size())) +
                      Bytes(stored.begin(), stored.begin() + 7 + 13 + 100);
    struct Case {
        const char* name;
        Bytes movie;
        size_t tags;        // listed before reading stopped
        const char* reason; // "" for a whole report
    };
    const Case cases[] = {
        {"a tag longer than the movie",
         WithTrueLength(SwfWriter().Fws() + Tag(9, {1, 2, 3}) + Word(2 << 6 | 0x3F) + Word(1000) +
                        Word(0) + Bytes(5, 0)),
         2, "DefineShape at 0x0000001A claims 1000 bytes, past the end of the movie"},
        {"a sprite's tag longer than its sprite",
         Movie(Tag(39, Word(1) + Word(1) + Word(2 << 6 | 20) + Bytes(4, 0))), 2,
         "past the end of its sprite"},
        {"a cut compressed stream", cut, 50, "the movie ends without an End tag"},
        {"sprites nested a hundred deep", Movie(nested), 65, "sprites nested deeper than 64"},
        {"a hundred thousand tags", Movie(manyFrames), 100'001, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write("hostile.swf", c.movie);
        const Dissection dissection = Dissector::Dissect(path);
        ASSERT_TRUE(dissection.Readable()) << dissection.facts.error;
        EXPECT_EQ(dissection.tags.size(), c.tags);
        if (*c.reason == '\0') {
            EXPECT_FALSE(dissection.stoppedAt);
            EXPECT_EQ(Run({path}), DissectaCommand::kWhole);
            continue;
        }
        ASSERT_TRUE(dissection.stoppedAt);
        EXPECT_NE(dissection.stoppedAt->reason.find(c.reason), std::string::npos)
            << dissection.stoppedAt->reason;
        EXPECT_EQ(Run({"--json", path}), DissectaCommand::kPartial);
        const nlohmann::json json = nlohmann::json::parse(out.str());
        EXPECT_EQ(json.at("stoppedAt").at("reason"), dissection.stoppedAt->reason);
        EXPECT_NE(err.str().find("reading stopped at offset"), std::string::npos);
    }
}

// A string ends with its record: a pool whose last name has no terminator must not run on into
// the next tag (here one whose header reads "/d" and whose body names a movie).
TEST_F(DissectaTest, StringsEndWithTheirRecord) {
    const std::string next = std::string(42, 'm') + ".swf"; // 47 bytes with its zero
    const Bytes movie =
        Movie(Tag(12, Action(0x88, Word(1) + Bytes{'a', 'b'})) + Tag(400, Text(next)));
    const Dissection dissection = Dissector::Dissect(Write("run-on.swf", movie));
    ASSERT_EQ(dissection.tags.size(), 3U);
    EXPECT_EQ(dissection.tags[1].length, 47U);
    EXPECT_TRUE(dissection.references.empty()) << dissection.references.at(0).text;
}

// A movie naming more than a report keeps gives the first of them and counts the rest.
TEST_F(DissectaTest, ReferencesBeyondTheReportsBoundAreCountedNotKept) {
    // 300 constant pools of 30 names of 2,000 bytes: 18 MB of names.
    const std::string name = std::string(1996, 'm') + ".swf";
    Bytes pool = Word(30);
    for (int i = 0; i < 30; ++i) {
        pool = pool + Text(name);
    }
    const Bytes tag = Tag(12, Action(0x88, pool) + Bytes{0});
    Bytes tags;
    for (int i = 0; i < 300; ++i) {
        tags.insert(tags.end(), tag.begin(), tag.end());
    }
    const Dissection dissection = Dissector::Dissect(Write("many.swf", Movie(tags)));
    size_t kept = 0;
    for (const Dissection::Reference& reference : dissection.references) {
        kept += reference.text.size() + reference.where.size();
    }
    EXPECT_LE(kept, Dissector::kMostReferenceBytes);
    EXPECT_EQ(dissection.references.size() + dissection.referencesLeftOut, 9000U);
    EXPECT_GT(dissection.referencesLeftOut, 0U);
    EXPECT_FALSE(dissection.stoppedAt);
}

// A movie of a few megabytes whose lists blow a report up: a million tags, and references made
// of the character that grows most in a form (a quote, six bytes in HTML; a byte that is not
// UTF-8, five in JSON). Every form stays under the bound, lists the same rows, and says where each
// list stops.
TEST_F(DissectaTest, AReportStaysUnderItsBoundAndSaysWhereEachListStops) {
    using namespace ReportBounds;
    constexpr size_t kPools = 40;
    constexpr size_t kNames = 30;
    constexpr size_t kFrames = 999'000 - kPools;
    for (const char fill : {'"', '\xFF'}) {
        SCOPED_TRACE(static_cast<int>(fill));
        const std::string name = std::string(1996, fill) + ".swf";
        Bytes pool = Word(kNames);
        for (size_t n = 0; n < kNames; ++n) {
            pool = pool + Text(name);
        }
        Bytes tags;
        for (size_t n = 0; n < kPools; ++n) {
            tags = tags + Tag(12, Action(0x88, pool) + Bytes{0});
        }
        tags.reserve(tags.size() + 2 * kFrames);
        for (size_t n = 0; n < kFrames; ++n) {
            tags.insert(tags.end(), {0x40, 0x00});
        }
        const std::string movie = Write("blown.swf", Movie(tags));
        const Dissection dissection = Dissector::Dissect(movie);
        ASSERT_EQ(dissection.tags.size(), kPools + kFrames + 1);
        ASSERT_EQ(dissection.references.size() + dissection.referencesLeftOut, kPools * kNames);
        const std::string tagsStop = "more tags, from the one at " +
                                     OffsetText(dissection.tags[kMostTagRows].offset) + " on,";

        ASSERT_EQ(Run({movie}), DissectaCommand::kWhole) << err.str();
        const std::string text = out.str();
        EXPECT_LT(text.size(), kMostReportBytes);
        EXPECT_NE(text.find("  (The list stops here: " +
                            std::to_string(kPools + kFrames + 1 - kMostTagRows) + " " + tagsStop),
                  std::string::npos);
        EXPECT_NE(text.find("more references, from the one found in DoAction at 0x"),
                  std::string::npos);

        const std::string page = folder / "blown.html";
        ASSERT_EQ(Run({"--html", page, movie}), DissectaCommand::kWhole) << err.str();
        const std::string html = ReadWholeFile(page);
        EXPECT_LT(html.size(), kMostReportBytes);
        EXPECT_NE(html.find(tagsStop), std::string::npos);
        EXPECT_NE(html.find("more references, from the one found in DoAction at 0x"),
                  std::string::npos);

        ASSERT_EQ(Run({"--json", movie}), DissectaCommand::kWhole) << err.str();
        EXPECT_LT(out.str().size(), kMostReportBytes);
        const nlohmann::json json = nlohmann::json::parse(out.str());
        EXPECT_EQ(json.at("tags").size(), kMostTagRows);
        EXPECT_EQ(json.at("tagsLeftOut"), kPools + kFrames + 1 - kMostTagRows);
        EXPECT_EQ(json.at("references").size() + json.at("referencesLeftOut").get<size_t>(),
                  kPools * kNames);
        size_t listed = 0;
        for (size_t n = 0; n < json.at("references").size(); ++n) {
            listed += dissection.references[n].text.size() + dissection.references[n].where.size();
        }
        EXPECT_LE(listed, kMostReferenceBytes);
        EXPECT_GT(listed, kMostReferenceBytes - 2 * name.size());
        ASSERT_EQ(json.at("cut").size(), 2U);
        EXPECT_NE(json.at("cut").at(0).get<std::string>().find(tagsStop), std::string::npos);
    }
}

// The three forms and the application start, with what each promises.
TEST_F(DissectaTest, EachFormHoldsTheReportAndTheApplicationOpensItsPage) {
    const std::string movie = Write("film <1>.swf", Movie(PlantedMovie().Tags()));
    ASSERT_EQ(Run({movie}), DissectaCommand::kWhole) << err.str();
    EXPECT_NE(out.str().find("  http://cdn.example/lib.swf  (DoABC at 0x"), std::string::npos);
    EXPECT_NE(out.str().find("ActionScript: AVM1 (ActionScript 1 and 2) and AVM2"),
              std::string::npos);

    ASSERT_EQ(Run({"--json", movie}), DissectaCommand::kWhole);
    const nlohmann::json json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json.at("header").at("path"), movie);
    EXPECT_EQ(json.at("tags").size(), PlantedMovie().Rows().size());
    EXPECT_EQ(json.at("references").at(2).at("url"), "movies/intro.swf");
    EXPECT_TRUE(json.at("stoppedAt").is_null());

    // The page loads nothing: no scripts, no addresses it would fetch, a policy that forbids it.
    const std::string page = folder / "report.html";
    ASSERT_EQ(Run({"--html", page, movie}), DissectaCommand::kWhole);
    const std::string html = ReadWholeFile(page);
    EXPECT_NE(html.find("default-src 'none'"), std::string::npos);
    for (const char* loads : {"<script", "src=", "href=", "url(", "<link", "@import"}) {
        EXPECT_EQ(html.find(loads), std::string::npos) << loads;
    }
    EXPECT_NE(html.find("film &lt;1&gt;.swf"), std::string::npos);
    EXPECT_NE(html.find("http://cdn.example/lib.swf"), std::string::npos);

    // As the application, the page goes to the reports folder and the desktop opens it.
    const TempDir home;
    const std::string previousHome = std::getenv("HOME");
    setenv("HOME", home.Path().c_str(), 1);
    auto backend = std::make_unique<RecordingWorkspaceBackend>();
    const RecordingWorkspaceBackend* recorder = backend.get();
    NSWorkspace::sharedWorkspace().setBackend(std::move(backend));
    EXPECT_EQ(Run({"--app", movie}), DissectaCommand::kWhole) << err.str();
    const std::string report = home / "Documents/Dissecta/film <1>.swf.html";
    EXPECT_EQ(ReadWholeFile(report), html);
    ASSERT_EQ(recorder->calls().size(), 1U);
    EXPECT_EQ(recorder->calls()[0].arguments.at(0), report);
    NSWorkspace::sharedWorkspace().setBackend(nullptr);
    setenv("HOME", previousHome.c_str(), 1);

    EXPECT_EQ(Run({Write("not.swf", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'})}),
              DissectaCommand::kFailed);
    EXPECT_NE(err.str().find("not.swf: not a SWF file"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"--json", "--app", movie}), DissectaCommand::kUsageError);
}

// The command line reads as it always did: each usage error named as before, exit status 2.
TEST_F(DissectaTest, UsageErrorsAreNamedAndHelpIsShown) {
    const std::string movie = Write("movie.swf", Movie({}));
    const struct {
        std::vector<std::string> args;
        const char* error; // nullptr: accepted
    } cases[] = {
        {{}, "MOVIE is required"},
        {{"--json"}, "MOVIE is required"},
        {{"--bogus", movie}, "The following argument was not expected: --bogus"},
        {{movie, "second.swf"}, "The following argument was not expected: second.swf"},
        {{"--json", "--html", "page.html", movie}, "--json excludes --html"},
        {{"--app", "--html", "page.html", movie}, "--html excludes --app"},
        {{"--json", "--app", movie}, "--json excludes --app"},
        {{"--html"}, "--html: 1 required TEXT missing"},
        {{"--json", "--json", movie}, nullptr},
        {{"--", movie}, nullptr},
        {{"--html=" + (folder / "page.html"), movie}, nullptr},
    };
    for (const auto& each : cases) {
        const int status = Run(each.args);
        if (each.error == nullptr) {
            EXPECT_EQ(status, DissectaCommand::kWhole) << err.str();
            continue;
        }
        EXPECT_EQ(status, DissectaCommand::kUsageError) << each.error;
        EXPECT_EQ(err.str(),
                  std::string("dissecta: ") + each.error + "\nRun 'dissecta --help' for usage.\n");
    }
    EXPECT_TRUE(std::filesystem::exists(folder / "page.html"));
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"-h"}, {movie, "--help"}}) {
        EXPECT_EQ(Run(help), DissectaCommand::kWhole);
        EXPECT_TRUE(out.str().starts_with("dissecta: what is inside a SWF movie")) << out.str();
        EXPECT_NE(out.str().find("Usage: dissecta [OPTIONS] MOVIE"), std::string::npos);
    }
}
