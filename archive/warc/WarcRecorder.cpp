#include "warc/WarcRecorder.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "foundation/defaults/AtomicFile.h"
#include "warc/Cdxj.h"

namespace fs = std::filesystem;

namespace {

Outcome<std::vector<std::string>> JournalLines(const fs::path& journal) {
    std::vector<std::string> lines;
    std::error_code error;
    if (!fs::exists(journal, error)) {
        return lines;
    }
    std::ifstream in(journal, std::ios::binary);
    if (!in) {
        return Failure{journal.string(), "cannot be read"};
    }
    for (std::string line; std::getline(in, line);) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<uint64_t> Number(const nlohmann::json& entry, const char* key) {
    const auto field = entry.find(key);
    if (field == entry.end() || !field->is_string()) {
        return std::nullopt;
    }
    const auto& text = field->get_ref<const std::string&>();
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Whether an index line names a record that is whole in its file beside the journal's WARC.
bool StillThere(const std::string& line, const fs::path& folder) {
    const size_t space = line.find(' ');
    const size_t json = space == std::string::npos ? space : line.find(' ', space + 1);
    if (json == std::string::npos) {
        return false;
    }
    const nlohmann::json entry = nlohmann::json::parse(line.substr(json + 1), nullptr, false);
    if (!entry.is_object() || !entry.contains("filename")) {
        return false;
    }
    const std::optional<uint64_t> offset = Number(entry, "offset");
    const std::optional<uint64_t> length = Number(entry, "length");
    std::error_code error;
    const uint64_t size = fs::file_size(folder / entry.value("filename", ""), error);
    return !error && offset && length && *offset + *length <= size;
}

} // namespace

Outcome<std::shared_ptr<WarcRecorder>> WarcRecorder::Open(Options options) {
    const fs::path folder = options.warc.path.parent_path();
    Outcome<std::unique_ptr<WarcWriter>> writer = WarcWriter::Open(std::move(options.warc));
    if (!writer) {
        return writer.failure();
    }
    std::error_code error;
    if (fs::create_directories(options.journal.parent_path(), error); error) {
        return Failure{options.journal.parent_path().string(), error.message()};
    }
    // After the writer repaired its last file: a line whose record was cut goes, before a new
    // record takes its place.
    Outcome<std::vector<std::string>> lines = JournalLines(options.journal);
    if (!lines) {
        return lines.failure();
    }
    std::string kept;
    size_t dropped = 0;
    for (const std::string& line : lines.value()) {
        if (StillThere(line, folder)) {
            kept += line + "\n";
        } else {
            ++dropped;
        }
    }
    if (dropped > 0) {
        if (Outcome<> written = AtomicFile::Write(options.journal.string(), kept); !written) {
            return written.failure();
        }
    }
    return std::shared_ptr<WarcRecorder>(
        new WarcRecorder(std::move(writer).value(), std::move(options.journal)));
}

void WarcRecorder::Record(WireExchange exchange) {
    WarcExchange record;
    record.targetURI = std::move(exchange.targetURI);
    record.date = exchange.date;
    record.request = std::move(exchange.request);
    record.responseHead = std::move(exchange.responseHead);
    record.payload = std::move(exchange.payload);
    if (exchange.payloadSpill) {
        record.payloadFile = exchange.payloadSpill->TemporaryPath();
    }
    record.ipAddress = std::move(exchange.ipAddress);
    record.truncated = std::move(exchange.truncated);

    const std::scoped_lock lock(m_lock);
    if (m_failure) {
        return;
    }
    Outcome<WarcLocation> written = m_writer->Write(record);
    if (!written) {
        m_failure = written.failure();
        return;
    }
    if (Outcome<> journaled = Append(cdxj::Line(record, written.value())); !journaled) {
        m_failure = journaled.failure();
    }
}

Outcome<> WarcRecorder::Append(const std::string& line) {
    // One write of a whole line: a kill leaves the journal with whole lines (and at worst the
    // start of the last one, which the next open drops).
    const int fd = ::open(m_journal.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Failure::FromErrno(m_journal.string(), errno);
    }
    const std::string text = line + "\n";
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int error = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(text.size())) {
        return Failure::FromErrno(m_journal.string(), written < 0 ? error : ENOSPC);
    }
    return {};
}

std::optional<Failure> WarcRecorder::failure() const {
    const std::scoped_lock lock(m_lock);
    return m_failure;
}

std::vector<fs::path> WarcRecorder::files() const {
    const std::scoped_lock lock(m_lock);
    return m_writer->files();
}

Outcome<std::vector<std::string>> WarcRecorder::IndexLines(const fs::path& journal,
                                                           const fs::path& folder) {
    Outcome<std::vector<std::string>> lines = JournalLines(journal);
    if (lines) {
        std::erase_if(lines.value(),
                      [&folder](const std::string& line) { return !StillThere(line, folder); });
    }
    return lines;
}

Outcome<> WarcRecorder::WriteIndex(const fs::path& index) const {
    const std::scoped_lock lock(m_lock);
    Outcome<std::vector<std::string>> lines =
        IndexLines(m_journal, m_writer->files().front().parent_path());
    if (!lines) {
        return lines.failure();
    }
    return cdxj::Write(index, std::move(lines).value());
}

fs::path WarcRecorder::IndexBeside(const fs::path& warc) {
    std::string name = warc.filename().string();
    for (const char* suffix : {".warc.gz", ".warc"}) {
        if (name.size() > std::string(suffix).size() && name.ends_with(suffix)) {
            name.resize(name.size() - std::string(suffix).size());
            break;
        }
    }
    return warc.parent_path() / (name + ".cdxj");
}
