#include "warc/WarcWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TempDir.h"
#include "WarcReadBack.h"
#include "warc/Cdxj.h"
#include "warc/Sha1Digest.h"

namespace fs = std::filesystem;

namespace {

const fs::path kModules = HVX_NODE_MODULES;
const fs::path kReader = HVX_WARC_READER;

using warc_read_back::Output;
using warc_read_back::Quoted;

std::vector<nlohmann::json> ReadBack(const std::vector<fs::path>& files) {
    return warc_read_back::Records(kReader, kModules, files);
}

WarcExchange Exchange(const std::string& uri, const std::string& type, std::string payload) {
    WarcExchange exchange;
    exchange.targetURI = uri;
    exchange.request = "GET / HTTP/1.1\r\nHost: example\r\n\r\n";
    exchange.responseHead = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                            "\r\nContent-Length: " + std::to_string(payload.size()) + "\r\n\r\n";
    exchange.payload = std::move(payload);
    exchange.ipAddress = "127.0.0.1";
    return exchange;
}

class WarcWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kModules / "warcio" / "package.json") || Output("node --version").empty()) {
            GTEST_SKIP() << "warcio is not installed in " << kModules << " (scripts/test does it)";
        }
    }
    TempDir temp;
};

// Pages and movies of every kind of byte, rotated into files of their own, read back whole by an
// independent reader: each record's length and digests hold, each request points at its response,
// and the index is the one that reader makes of the same files.
TEST_F(WarcWriterTest, RecordsReadBackWholeWithTheirDigestsAndIndex) {
    std::string movie;
    for (int i = 0; i < 200'000; ++i) {
        movie.push_back(static_cast<char>(i * 7 % 256));
    }
    const fs::path movieFile = temp.Path() / "movie.swf";
    std::ofstream(movieFile, std::ios::binary) << movie;
    std::vector<WarcExchange> exchanges = {
        Exchange("http://www2.Example.COM:8080/a/page.html?b=2&a=1", "text/html; charset=utf-8",
                 "<embed src=movie.swf>"),
        Exchange("https://example.org/m/movie.swf", "application/x-shockwave-flash", ""),
        // From outside, on one line whatever it holds.
        Exchange("http://example.org/odd path\r\nWARC-Type: forged", "text/plain", "x"),
    };
    exchanges[1].payloadFile = movieFile;
    exchanges[2].request.clear();

    WarcWriter::Options options;
    options.path = temp.Path() / "crawl.warc.gz";
    options.rotateAt = 1; // every exchange after the first in a file of its own
    Outcome<std::unique_ptr<WarcWriter>> writer = WarcWriter::Open(options);
    ASSERT_TRUE(writer) << writer.failure().message();
    std::vector<std::string> index;
    for (const WarcExchange& exchange : exchanges) {
        Outcome<WarcLocation> written = writer.value()->Write(exchange);
        ASSERT_TRUE(written) << written.failure().message();
        index.push_back(cdxj::Line(exchange, written.value()));
    }
    const std::vector<fs::path> files = writer.value()->files();
    ASSERT_EQ(files.size(), 3U);
    EXPECT_EQ(files[2].filename(), "crawl-00002.warc.gz");

    const std::vector<nlohmann::json> records = ReadBack(files);
    std::vector<std::string> types;
    std::map<std::string, std::string> responseIDs; // target -> record id
    for (const nlohmann::json& record : records) {
        ASSERT_TRUE(record.is_object()) << record.dump();
        types.push_back(record["file"].get<std::string>() + " " +
                        record["type"].get<std::string>());
        EXPECT_TRUE(record["blockDigestOK"].get<bool>()) << record.dump(2);
        EXPECT_TRUE(record["lengthOK"].get<bool>()) << record.dump(2);
        const nlohmann::json& headers = record["headers"];
        if (record["type"] == "response") {
            EXPECT_TRUE(record["payloadDigestOK"].get<bool>()) << record.dump(2);
            responseIDs[headers["warc-target-uri"]] = headers["warc-record-id"];
        }
        if (record["type"] == "request") {
            EXPECT_EQ(headers["warc-concurrent-to"], responseIDs[headers["warc-target-uri"]]);
        }
    }
    EXPECT_EQ(types, (std::vector<std::string>{
                         "crawl.warc.gz warcinfo", "crawl.warc.gz response",
                         "crawl.warc.gz request", "crawl-00001.warc.gz warcinfo",
                         "crawl-00001.warc.gz response", "crawl-00001.warc.gz request",
                         "crawl-00002.warc.gz warcinfo", "crawl-00002.warc.gz response"}));
    EXPECT_EQ(records[4]["payloadSha1"], Output("sha1sum " + Quoted(movieFile)).substr(0, 40));
    EXPECT_EQ(records[7]["headers"]["warc-target-uri"],
              "http://example.org/odd%20path%0D%0AWARC-Type:%20forged");

    // warcio's own index of the same files, field for field.
    std::vector<nlohmann::json> theirs;
    for (const fs::path& file : files) {
        const std::string out = Output("cd " + Quoted(file.parent_path()) + " && node " +
                                       Quoted(kModules / "warcio" / "dist" / "cli.js") +
                                       " cdx-index " + Quoted(file.filename()));
        for (size_t start = 0, end = out.find('\n'); end != std::string::npos;
             start = end + 1, end = out.find('\n', start)) {
            const std::string line = out.substr(start, end - start);
            const size_t json = line.find('{');
            nlohmann::json entry = nlohmann::json::parse(line.substr(json), nullptr, false);
            entry["key"] = line.substr(0, json - 1);
            theirs.push_back(entry);
        }
    }
    ASSERT_EQ(theirs.size(), index.size());
    for (size_t i = 0; i < index.size(); ++i) {
        const size_t json = index[i].find('{');
        nlohmann::json ours = nlohmann::json::parse(index[i].substr(json));
        ours["key"] = index[i].substr(0, json - 1);
        for (const char* field :
             {"key", "url", "mime", "status", "digest", "length", "offset", "filename"}) {
            EXPECT_EQ(ours[field].dump(), theirs[i][field].dump()) << field << " of " << index[i];
        }
    }
}

// A writer killed in the middle of a record leaves part of a gzip member, or anything at all, at
// the end: the file is cut back to its last whole record and writing goes on after it.
TEST_F(WarcWriterTest, WhatACutRecordLeftIsSetAsideAndWritingGoesOn) {
    WarcWriter::Options options;
    options.path = temp.Path() / "cut.warc.gz";
    std::vector<uint64_t> wholeSizes;
    {
        Outcome<std::unique_ptr<WarcWriter>> writer = WarcWriter::Open(options);
        ASSERT_TRUE(writer);
        for (const char* name : {"one", "two"}) {
            ASSERT_TRUE(writer.value()->Write(
                Exchange(std::string("http://example.org/") + name, "text/plain", name)));
            wholeSizes.push_back(fs::file_size(options.path));
        }
    }
    for (const auto& [cut, garbage] : std::vector<std::pair<uint64_t, std::string>>{
             {10, ""}, {0, "not gzip at all"}, {0, std::string("\x1f\x8b\x08", 3)}}) {
        fs::resize_file(options.path, wholeSizes[1] - cut);
        std::ofstream(options.path, std::ios::binary | std::ios::app) << garbage;
        Outcome<uint64_t> repaired = RepairWarc(options.path);
        ASSERT_TRUE(repaired) << repaired.failure().message();
        EXPECT_GT(repaired.value(), 0U);
        // The second exchange's request record went with the cut.
        EXPECT_EQ(fs::file_size(options.path),
                  cut > 0 ? wholeSizes[1] - repaired.value() - cut : wholeSizes[1]);
        wholeSizes[1] = fs::file_size(options.path);
    }
    Outcome<std::unique_ptr<WarcWriter>> again = WarcWriter::Open(options);
    ASSERT_TRUE(again);
    ASSERT_TRUE(again.value()->Write(Exchange("http://example.org/three", "text/plain", "3")));
    std::vector<std::string> read;
    for (const nlohmann::json& record : ReadBack({options.path})) {
        ASSERT_TRUE(record.is_object());
        EXPECT_TRUE(record["blockDigestOK"].get<bool>());
        read.push_back(record["type"].get<std::string>() + " " +
                       record["headers"].value("warc-target-uri", ""));
    }
    EXPECT_EQ(read, (std::vector<std::string>{
                        "warcinfo ", "response http://example.org/one",
                        "request http://example.org/one", "response http://example.org/two",
                        "response http://example.org/three", "request http://example.org/three"}));
}

TEST(Sha1DigestTest, NamesTheDigestInBase32) {
    // RFC 3174's "abc", in base32.
    EXPECT_EQ(Sha1Digest::Of("abc"), "sha1:VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5");
    EXPECT_EQ(Sha1Digest::Of(""), "sha1:3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ");
}

} // namespace
