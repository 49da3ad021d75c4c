// text_seed_corpus DIR: writes the starting corpora of the text fuzzers into DIR/html,
// DIR/strings, DIR/nib and DIR/defaults: the bundle's own pages, string table and interface
// files as the tests load them, and small cases for the paths those never take.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace {

using Corpus = std::map<std::string, std::vector<std::string>>;

void Write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

// The bundle's resources, by the fuzzer whose input they are.
void CopyResources(const fs::path& resources, const fs::path& dir) {
    const std::map<std::string, std::string> kinds = {
        {".html", "html"}, {".strings", "strings"}, {".nib", "nib"}};
    for (const fs::directory_entry& entry : fs::directory_iterator(resources)) {
        auto kind = kinds.find(entry.path().extension().string());
        if (kind != kinds.end()) {
            fs::copy_file(entry.path(), dir / kind->second / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
    }
}

Corpus Generated() {
    using nlohmann::json;
    Corpus corpus;
    corpus["html"] = {
        R"(<base href=" /movies/ "><object data="a.swf" type="application/x-shockwave-flash">)"
        R"(<param name="movie" value="b.swf"><embed src="c.swf"></object>)",
        R"(<object classid="clsid:D27CDB6E"><param name="movie" value="x.swf">)"
        R"(<embed src="fallback.swf?v=1#top"></object><template><embed src="inert.swf"></template>)",
        "<iframe src=\"\tframe.html\n\"></iframe><frameset><frame src=\"f.html\"></frameset>",
        "<object><object><object data=\"deep.swf\"></object></object></object><embed type=x>",
    };
    corpus["strings"] = {
        "/* c */ \"key\" = \"value\"; // c\nbare_word:1.0 = \"x\";\n\"self\";\n",
        "\xEF\xBB\xBF\"esc\" = \"\\\" \\\\ \\n \\t \\U00e9 \\uD83D\\uDE00 \\q\";",
        "\"open\" = \"no end",
        "\"a\" = ;\n/* never closed",
    };
    const json owned = {
        {"objects",
         {{{"class", "NSMenu"},
           {"id", "menu"},
           {"properties",
            {{"title", "T"},
             {"items",
              {{{"class", "NSMenuItem"}, {"id", "item"}, {"properties", {{"title", "I"}}}}}}}}},
          {{"class", "NSWindow"}, {"id", "window"}, {"frame", {0, 0, 300, 200}}}}},
        {"outlets", {{"menu", "menu"}, {"window", "window"}}},
        {"actions", {{"item", "act:"}}}};
    corpus["nib"] = {
        owned.dump(),
        R"({"objects": [{"class": "NSButton", "id": "b", "properties": {"title": 5}}]})",
        R"({"objects": [{"class": "NoSuchClass", "id": "x"}], "outlets": []})",
        R"({"objects": [{"class": "NSView", "id": "v"}], "outlets": {"menu": "v"}})",
    };
    corpus["defaults"] = {
        json{{"SWFHarvexPreferences",
              {{"SWFHarvexSavePathArray", {"/a", "/b"}},
               {"SWFHarvexSaveComboxPath", "/a"},
               {"SWFHarvexAutoOpen", "true"}}},
             {"SWFHarvexSaveMatrixIndex", 2},
             {"SaveMatrix", " -7px"},
             {"AutoOpen", "Yes"}}
            .dump(),
        R"({"SaveMatrix": 1e300, "AutoOpen": 0.0, "SavePath": null})",
        "[1, 2, 3]",
        "{\"cut\": ",
    };
    return corpus;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: text_seed_corpus DIR\n";
        return 2;
    }
    const fs::path dir = argv[1];
    try {
        const Corpus corpus = Generated();
        for (const auto& [kind, texts] : corpus) {
            fs::create_directories(dir / kind);
            for (size_t i = 0; i < texts.size(); ++i) {
                Write(dir / kind / ("generated-" + std::to_string(i)), texts[i]);
            }
        }
        CopyResources(HVX_BUNDLE_RESOURCES, dir);
    } catch (const std::exception& error) {
        std::cerr << "text_seed_corpus: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
