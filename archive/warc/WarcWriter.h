#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Outcome.h"

// One exchange with a server as it happened: what was sent, and what came back as received.
struct WarcExchange {
    std::string targetURI;
    std::chrono::system_clock::time_point date = std::chrono::system_clock::now();
    std::string request;      // request line and headers as sent, with their blank line; "" unknown
    std::string responseHead; // status line and headers as received, with their blank line
    std::string payload;      // the body as transferred, when payloadFile is empty
    std::filesystem::path payloadFile;
    std::string ipAddress; // "" when unknown
    std::string truncated; // WARC-Truncated's reason when the payload is not whole
};

// Where a response record went, and what an index says of it.
struct WarcLocation {
    std::filesystem::path file;
    uint64_t offset = 0;   // of its gzip member in the file
    uint64_t length = 0;   // of that member
    std::string targetURI; // as the record names it (on one line)
    std::string recordID;
    std::string payloadDigest; // "sha1:BASE32"
};

// Writes WARC/1.1 files (ISO 28500): a warcinfo record first in each file, then for every exchange
// its response record and its request record (WARC-Concurrent-To the response), each record one
// gzip member, with its block's and payload's SHA-1 digests. A record is in the file whole or not
// at all: a write that fails (a full disk) is cut back off. A file that has reached the rotation
// size (and holds an exchange) is followed by the next: "crawl.warc.gz", "crawl-00001.warc.gz", and
// so on. An existing file is appended to, after RepairWarc.
class WarcWriter {
public:
    struct Options {
        std::filesystem::path path; // the first file
        uint64_t rotateAt = uint64_t{1} << 30;
        std::string software = "SWFHarvex";
    };

    static Outcome<std::unique_ptr<WarcWriter>> Open(Options options);
    ~WarcWriter();
    WarcWriter(const WarcWriter&) = delete;
    WarcWriter& operator=(const WarcWriter&) = delete;
    WarcWriter(WarcWriter&&) = delete;
    WarcWriter& operator=(WarcWriter&&) = delete;

    Outcome<WarcLocation> Write(const WarcExchange& exchange);
    // Every file written to, in order.
    const std::vector<std::filesystem::path>& files() const { return m_files; }

private:
    explicit WarcWriter(Options options) : m_options(std::move(options)) {}
    Outcome<> OpenFile(const std::filesystem::path& path);
    std::filesystem::path FileNumbered(int number) const;
    // One record, as one gzip member at the end of the current file; its offset and length.
    Outcome<std::pair<uint64_t, uint64_t>>
    Append(const std::string& header, const std::string& blockStart, const WarcExchange* payloadOf);

    Options m_options;
    std::vector<std::filesystem::path> m_files;
    int m_fd = -1;
    uint64_t m_size = 0;
    size_t m_exchangesInFile = 0;
    std::string m_warcinfoID;
};

// Cuts a WARC file back to its last whole gzip member (what a killed writer left may end in
// part of one); answers how many bytes were cut. A file that is not there needs nothing.
Outcome<uint64_t> RepairWarc(const std::filesystem::path& path);
