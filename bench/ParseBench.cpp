// Reading a compressed movie against bare zlib inflation of the same body, for movies of
// 10 kB, 1 MB and 64 MB (uncompressed). The parser should cost little beyond the inflation; its
// header-only reading (what `info` does without --tags) should cost the same at every size.
#include <map>
#include <random>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "swf/SWFBaseParse.h"

namespace {

struct Movie {
    std::string path;
    std::vector<uint8_t> body; // deflated, as stored after the header
    size_t inflatedSize = 0;   // body size after inflation
};

// Movie content that compresses roughly like real movies do: runs of repeated shapes and
// bitmap rows mixed with noise.
std::vector<uint8_t> MovieLikeBytes(size_t size, std::mt19937& random) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size;) {
        size_t run = std::min<size_t>(size - i, 64 + random() % 512);
        if (random() % 3 == 0) {
            for (size_t j = 0; j < run; ++j) {
                bytes[i + j] = static_cast<uint8_t>(random());
            }
        } else {
            auto value = static_cast<uint8_t>(random());
            for (size_t j = 0; j < run; ++j) {
                bytes[i + j] = static_cast<uint8_t>(value + (j % 16));
            }
        }
        i += run;
    }
    return bytes;
}

const Movie& MovieOfSize(size_t size) {
    static TempDir dir;
    static std::map<size_t, Movie> movies;
    auto found = movies.find(size);
    if (found != movies.end()) {
        return found->second;
    }
    std::mt19937 random(static_cast<unsigned>(size));
    SwfWriter writer;
    writer.FrameSizePixels(550, 400).FrameRate(0x1800).FrameCount(1000);
    size_t tagData = 1 << 16;
    while (writer.Body().size() + tagData + 16 < size) {
        writer.Tag(2, MovieLikeBytes(tagData, random));
    }
    writer.Tag(2, MovieLikeBytes(size - writer.Body().size() - 10, random)).End();
    Movie movie;
    std::vector<uint8_t> file = writer.Cws();
    movie.path = dir.Write("movie-" + std::to_string(size) + ".swf", file);
    movie.body.assign(file.begin() + 8, file.end());
    movie.inflatedSize = writer.Body().size();
    return movies.emplace(size, std::move(movie)).first->second;
}

void BM_ParseFileStructure(benchmark::State& state) {
    const Movie& movie = MovieOfSize(static_cast<size_t>(state.range(0)));
    uint64_t held = 0;
    for (auto _ : state) {
        CSWFBaseParse parser;
        bool ok = parser.ParseFileStructure(movie.path.c_str(), true);
        benchmark::DoNotOptimize(ok);
        held = parser.HeldBytes();
        if (!ok || parser.m_dataLength != movie.inflatedSize + 8) {
            state.SkipWithError("parse failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.inflatedSize));
    state.counters["image_MiB"] = static_cast<double>(held) / (1 << 20);
}

void BM_ParseHeader(benchmark::State& state) {
    const Movie& movie = MovieOfSize(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        CSWFBaseParse parser;
        bool ok = parser.ParseHeader(movie.path.c_str());
        benchmark::DoNotOptimize(ok);
        if (!ok || parser.m_frameWidth != 550 || parser.m_frameCount != 1000) {
            state.SkipWithError("header not read");
            break;
        }
    }
}

void BM_BareInflate(benchmark::State& state) {
    const Movie& movie = MovieOfSize(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> out(movie.inflatedSize);
    for (auto _ : state) {
        auto outSize = static_cast<uLongf>(out.size());
        int code = uncompress(out.data(), &outSize, movie.body.data(),
                              static_cast<uLong>(movie.body.size()));
        benchmark::DoNotOptimize(out.data());
        if (code != Z_OK || outSize != movie.inflatedSize) {
            state.SkipWithError("inflate failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.inflatedSize));
}

constexpr int64_t kSizes[] = {int64_t{10} * 1024, int64_t{1} << 20, int64_t{64} << 20};

} // namespace

BENCHMARK(BM_ParseFileStructure)
    ->ArgName("bytes")
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseHeader)
    ->ArgName("bytes")
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareInflate)
    ->ArgName("bytes")
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
