// dissecta against the parser's own reading of the same movie: a 64 MB (inflated) compressed
// movie of some 100,000 tags of mixed kinds and sizes, bytecode among them. Dissecting reads the
// movie as the parser does, then walks and describes every tag; it should cost at most half as
// much again.
#include <random>

#include <benchmark/benchmark.h>

#include "Dissector.h"
#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"

namespace {

constexpr size_t kInflatedSize = size_t{64} << 20;

const std::string& MoviePath() {
    static const TempDir folder;
    static const std::string path = [] {
        std::mt19937 random(7);
        SwfWriter writer;
        size_t size = 0;
        const uint16_t kinds[] = {2, 26, 1, 6, 36, 12, 87, 32, 11};
        while (size < kInflatedSize) {
            const uint16_t code = kinds[random() % std::size(kinds)];
            std::vector<uint8_t> body(16 + random() % 1200);
            for (size_t i = 0; i < body.size(); ++i) {
                body[i] = static_cast<uint8_t>(i % 7 == 0 ? random() : i);
            }
            if (code == 12) { // a GetURL, then the end of the actions
                const std::string url = "movies/part.swf";
                body = {0x83, static_cast<uint8_t>(url.size() + 2), 0};
                body.insert(body.end(), url.begin(), url.end());
                body.insert(body.end(), {0, 0, 0});
            }
            size += body.size() + 6;
            writer.Tag(code, body, true);
        }
        writer.End();
        std::string file = folder / "large.swf";
        SwfWriter::WriteFile(file, writer.Cws());
        return file;
    }();
    return path;
}

void BM_ParserReadsTheMovie(benchmark::State& state) {
    MoviePath(); // made before the clock runs
    for (auto _ : state) {
        CSWFBaseParse parser;
        benchmark::DoNotOptimize(parser.ParseFileStructure(MoviePath().c_str(), true));
        benchmark::DoNotOptimize(parser.GetSWFInformation());
    }
}
BENCHMARK(BM_ParserReadsTheMovie)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_DissectaDescribesTheMovie(benchmark::State& state) {
    MoviePath();
    for (auto _ : state) {
        const Dissection dissection = Dissector::Dissect(MoviePath());
        benchmark::DoNotOptimize(dissection.tags.data());
        state.counters["tags"] = static_cast<double>(dissection.tags.size());
        state.counters["references"] = static_cast<double>(dissection.references.size());
    }
}
BENCHMARK(BM_DissectaDescribesTheMovie)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace

BENCHMARK_MAIN();
