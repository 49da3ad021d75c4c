#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "foundation/Outcome.h"
#include "warc/WarcWriter.h"
#include "webkit/WireRecording.h"

// Records every exchange the process's transfers make into WARC files. Each response record's
// index line goes to a journal as soon as the record is written, so the CDXJ index of a crawl
// stopped and resumed many times covers every run; lines of records a kill cut off (and a resume
// repaired away) are dropped when it opens. After the first write that fails (a full disk)
// nothing more is recorded and failure() says why: the crawl stops before calling anything done
// that the archive lacks.
class WarcRecorder : public WireRecorder {
public:
    struct Options {
        WarcWriter::Options warc;
        std::filesystem::path journal;
    };

    static Outcome<std::shared_ptr<WarcRecorder>> Open(Options options);

    void Record(WireExchange exchange) override;
    std::optional<Failure> failure() const;
    // Every WARC file written to, in order.
    std::vector<std::filesystem::path> files() const;
    // Writes the sorted index of every record the journal names, replacing `index` whole.
    Outcome<> WriteIndex(const std::filesystem::path& index) const;

    // The index lines a journal holds of records that are whole in their files in `folder`.
    static Outcome<std::vector<std::string>> IndexLines(const std::filesystem::path& journal,
                                                        const std::filesystem::path& folder);

    // Where the index of WARC files starting at `warc` goes: "crawl.warc.gz" -> "crawl.cdxj".
    static std::filesystem::path IndexBeside(const std::filesystem::path& warc);

private:
    WarcRecorder(std::unique_ptr<WarcWriter> writer, std::filesystem::path journal)
        : m_writer(std::move(writer)), m_journal(std::move(journal)) {}
    Outcome<> Append(const std::string& line);

    mutable std::mutex m_lock;
    std::unique_ptr<WarcWriter> m_writer;
    std::filesystem::path m_journal;
    std::optional<Failure> m_failure;
};
