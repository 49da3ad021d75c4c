#include "warc/WarcWriter.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "warc/Sha1Digest.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = size_t{64} * 1024;

// "<urn:uuid:…>" of random version 4.
std::string RecordID() {
    static std::random_device device;
    std::array<unsigned char, 16> bytes{};
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(device());
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0FU) | 0x40U);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3FU) | 0x80U);
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::string id = "<urn:uuid:";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            id.push_back('-');
        }
        id.push_back(kHex[bytes[i] >> 4U]);
        id.push_back(kHex[bytes[i] & 15U]);
    }
    return id + ">";
}

// "2026-12-09T21:15:11.123456Z": WARC 1.1 dates, to the microsecond.
std::string WarcDate(std::chrono::system_clock::time_point when) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(micros / 1'000'000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::array<char, 40> text{};
    const size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &utc);
    std::array<char, 12> fraction{};
    std::snprintf(fraction.data(), fraction.size(), ".%06lldZ",
                  static_cast<long long>(micros % 1'000'000));
    return std::string(text.data(), length) + fraction.data();
}

// A header value from outside (an address) on one line: control bytes and spaces escaped.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            static constexpr std::string_view kHex = "0123456789ABCDEF";
            line += '%';
            line += kHex[byte >> 4U];
            line += kHex[byte & 15U];
        } else {
            line += c;
        }
    }
    return line;
}

// Calls `each` with the payload's bytes in chunks; fails naming the file that cannot be read.
template <typename Each>
Outcome<uint64_t> ForEachPayloadChunk(const WarcExchange& exchange, Each each) {
    if (exchange.payloadFile.empty()) {
        if (Outcome<> done = each(std::string_view(exchange.payload)); !done) {
            return done.failure();
        }
        return exchange.payload.size();
    }
    std::ifstream in(exchange.payloadFile, std::ios::binary);
    if (!in) {
        return Failure{exchange.payloadFile.string(), "cannot be read"};
    }
    std::string chunk(kChunk, '\0');
    uint64_t total = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        total += got;
        if (Outcome<> done = each(std::string_view(chunk.data(), got)); !done) {
            return done.failure();
        }
    }
    if (in.bad()) {
        return Failure{exchange.payloadFile.string(), "cannot be read"};
    }
    return total;
}

// A gzip member written straight to a file descriptor as its bytes come.
class GzipMember {
public:
    GzipMember(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {
        m_ready = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8,
                               Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~GzipMember() { deflateEnd(&m_stream); }
    GzipMember(const GzipMember&) = delete;
    GzipMember& operator=(const GzipMember&) = delete;
    GzipMember(GzipMember&&) = delete;
    GzipMember& operator=(GzipMember&&) = delete;

    Outcome<> Add(std::string_view bytes) { return Deflate(bytes, Z_NO_FLUSH); }
    Outcome<> Finish() { return Deflate({}, Z_FINISH); }
    uint64_t written() const { return m_written; }

private:
    Outcome<> Deflate(std::string_view bytes, int flush) {
        if (!m_ready) {
            return Failure{m_path, "zlib could not start a gzip member"};
        }
        // zlib reads through a non-const pointer but does not write there.
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        m_stream.avail_in = static_cast<uInt>(bytes.size());
        std::array<unsigned char, kChunk> out{};
        int status = Z_OK;
        do {
            m_stream.next_out = out.data();
            m_stream.avail_out = out.size();
            status = deflate(&m_stream, flush);
            if (status == Z_STREAM_ERROR) {
                return Failure{m_path, "zlib could not compress a record"};
            }
            const size_t produced = out.size() - m_stream.avail_out;
            for (size_t sent = 0; sent < produced;) {
                const ssize_t wrote = ::write(m_fd, out.data() + sent, produced - sent);
                if (wrote < 0 && errno == EINTR) {
                    continue;
                }
                if (wrote <= 0) {
                    return Failure::FromErrno(m_path, errno);
                }
                sent += static_cast<size_t>(wrote);
                m_written += static_cast<uint64_t>(wrote);
            }
        } while (m_stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        return {};
    }

    z_stream m_stream{};
    bool m_ready = false;
    int m_fd;
    std::string m_path;
    uint64_t m_written = 0;
};

} // namespace

Outcome<std::unique_ptr<WarcWriter>> WarcWriter::Open(Options options) {
    std::unique_ptr<WarcWriter> writer(new WarcWriter(std::move(options)));
    // A resumed crawl goes on in the last file it wrote.
    fs::path path = writer->m_options.path;
    std::error_code error;
    for (int number = 1; fs::exists(writer->FileNumbered(number), error); ++number) {
        writer->m_files.push_back(path);
        path = writer->FileNumbered(number);
    }
    if (Outcome<> opened = writer->OpenFile(path); !opened) {
        return opened.failure();
    }
    return writer;
}

WarcWriter::~WarcWriter() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

fs::path WarcWriter::FileNumbered(int number) const {
    if (number == 0) {
        return m_options.path;
    }
    std::string name = m_options.path.filename().string();
    const std::string suffix = ".warc.gz";
    std::string extension;
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
        extension = suffix;
        name.resize(name.size() - suffix.size());
    }
    std::array<char, 8> digits{};
    std::snprintf(digits.data(), digits.size(), "-%05d", number);
    return m_options.path.parent_path() / (name + digits.data() + extension);
}

Outcome<> WarcWriter::OpenFile(const fs::path& path) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (Outcome<uint64_t> repaired = RepairWarc(path); !repaired) {
        return repaired.failure();
    }
    std::error_code error;
    if (!path.parent_path().empty()) {
        fs::create_directories(path.parent_path(), error);
    }
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        return Failure::FromErrno(path.string(), errno);
    }
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    m_size = end < 0 ? 0 : static_cast<uint64_t>(end);
    m_files.push_back(path);
    m_warcinfoID = RecordID();
    m_exchangesInFile = m_size > 0 ? 1 : 0;
    if (m_size > 0) {
        return {};
    }
    const std::string fields = "software: " + OneLine(m_options.software) +
                               "\r\nformat: WARC File Format 1.1\r\n"
                               "conformsTo: http://iipc.github.io/warc-specifications/"
                               "specifications/warc-format/warc-1.1/\r\n";
    const std::string header =
        "WARC/1.1\r\nWARC-Type: warcinfo\r\nWARC-Record-ID: " + m_warcinfoID +
        "\r\nWARC-Date: " + WarcDate(std::chrono::system_clock::now()) +
        "\r\nWARC-Filename: " + OneLine(path.filename().string()) +
        "\r\nWARC-Block-Digest: " + Sha1Digest::Of(fields) +
        "\r\nContent-Type: application/warc-fields\r\nContent-Length: " +
        std::to_string(fields.size()) + "\r\n\r\n";
    Outcome<std::pair<uint64_t, uint64_t>> written = Append(header, fields, nullptr);
    if (!written) {
        return written.failure();
    }
    return {};
}

Outcome<WarcLocation> WarcWriter::Write(const WarcExchange& exchange) {
    // A file holds at least one exchange, however small the rotation size.
    if (m_size >= m_options.rotateAt && m_exchangesInFile > 0) {
        if (Outcome<> next = OpenFile(FileNumbered(static_cast<int>(m_files.size()))); !next) {
            return next.failure();
        }
    }
    // The digests first: the header carries them before the block.
    Sha1Digest block;
    Sha1Digest payload;
    block.Add(exchange.responseHead);
    Outcome<uint64_t> payloadSize =
        ForEachPayloadChunk(exchange, [&block, &payload](std::string_view chunk) -> Outcome<> {
            block.Add(chunk);
            payload.Add(chunk);
            return {};
        });
    if (!payloadSize) {
        return payloadSize.failure();
    }
    WarcLocation location;
    location.file = m_files.back();
    location.recordID = RecordID();
    location.payloadDigest = payload.Finish();
    location.targetURI = OneLine(exchange.targetURI);
    const std::string& uri = location.targetURI;
    const std::string date = WarcDate(exchange.date);
    const std::string address = exchange.ipAddress.empty()
                                    ? ""
                                    : "WARC-IP-Address: " + OneLine(exchange.ipAddress) + "\r\n";
    const std::string response =
        "WARC/1.1\r\nWARC-Type: response\r\nWARC-Record-ID: " + location.recordID +
        "\r\nWARC-Date: " + date + "\r\nWARC-Target-URI: " + uri + "\r\n" + address +
        "WARC-Warcinfo-ID: " + m_warcinfoID + "\r\nWARC-Block-Digest: " + block.Finish() +
        "\r\nWARC-Payload-Digest: " + location.payloadDigest +
        (exchange.truncated.empty() ? "" : "\r\nWARC-Truncated: " + OneLine(exchange.truncated)) +
        "\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: " +
        std::to_string(exchange.responseHead.size() + payloadSize.value()) + "\r\n\r\n";
    Outcome<std::pair<uint64_t, uint64_t>> written =
        Append(response, exchange.responseHead, &exchange);
    if (!written) {
        return written.failure();
    }
    location.offset = written.value().first;
    location.length = written.value().second;
    ++m_exchangesInFile;
    if (exchange.request.empty()) {
        return location;
    }
    const std::string request =
        "WARC/1.1\r\nWARC-Type: request\r\nWARC-Record-ID: " + RecordID() +
        "\r\nWARC-Date: " + date + "\r\nWARC-Target-URI: " + uri + "\r\n" + address +
        "WARC-Warcinfo-ID: " + m_warcinfoID + "\r\nWARC-Concurrent-To: " + location.recordID +
        "\r\nWARC-Block-Digest: " + Sha1Digest::Of(exchange.request) +
        "\r\nContent-Type: application/http;msgtype=request\r\nContent-Length: " +
        std::to_string(exchange.request.size()) + "\r\n\r\n";
    if (Outcome<std::pair<uint64_t, uint64_t>> sent = Append(request, exchange.request, nullptr);
        !sent) {
        return sent.failure();
    }
    return location;
}

Outcome<std::pair<uint64_t, uint64_t>> WarcWriter::Append(const std::string& header,
                                                          const std::string& blockStart,
                                                          const WarcExchange* payloadOf) {
    const std::string path = m_files.back().string();
    const uint64_t start = m_size;
    GzipMember member(m_fd, path);
    Outcome<> done = member.Add(header);
    if (done) {
        done = member.Add(blockStart);
    }
    if (done && payloadOf != nullptr) {
        Outcome<uint64_t> sent = ForEachPayloadChunk(
            *payloadOf, [&member](std::string_view chunk) { return member.Add(chunk); });
        if (!sent) {
            done = sent.failure();
        }
    }
    if (done) {
        done = member.Add("\r\n\r\n");
    }
    if (done) {
        done = member.Finish();
    }
    if (!done) {
        // Whole or not at all: what was written of it goes.
        if (::ftruncate(m_fd, static_cast<off_t>(start)) != 0) {
            return Failure{path, done.failure().why +
                                     "; and the part written could not be cut "
                                     "off: " +
                                     std::strerror(errno)};
        }
        return done.failure();
    }
    m_size = start + member.written();
    return std::pair{start, member.written()};
}

Outcome<uint64_t> RepairWarc(const fs::path& path) {
    std::error_code error;
    if (!fs::exists(path, error)) {
        return uint64_t{0};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Failure{path.string(), "cannot be read"};
    }
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) {
        return Failure{path.string(), "zlib could not start reading"};
    }
    std::array<unsigned char, kChunk> input{};
    std::array<unsigned char, kChunk> output{};
    uint64_t consumed = 0; // bytes of the file given to zlib so far
    uint64_t wholeEnd = 0; // where the last whole member ends
    bool inMember = false;
    bool broken = false;
    while (!broken) {
        in.read(reinterpret_cast<char*>(input.data()), input.size());
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
        while (stream.avail_in > 0) {
            inMember = true;
            stream.next_out = output.data();
            stream.avail_out = output.size();
            const uInt before = stream.avail_in;
            const int status = inflate(&stream, Z_NO_FLUSH);
            consumed += before - stream.avail_in;
            const bool stuck = before == stream.avail_in && stream.avail_out == output.size();
            if (status == Z_STREAM_END) {
                wholeEnd = consumed;
                inMember = false;
                inflateReset(&stream);
            } else if ((status != Z_OK && status != Z_BUF_ERROR) || stuck) {
                broken = true; // not gzip from here on
                break;
            }
        }
    }
    inflateEnd(&stream);
    const uint64_t size = fs::file_size(path, error);
    if (error) {
        return Failure{path.string(), error.message()};
    }
    if (!broken && !inMember && wholeEnd == size) {
        return uint64_t{0};
    }
    fs::resize_file(path, wholeEnd, error);
    if (error) {
        return Failure{path.string(),
                       "could not be cut back to its last whole record: " + error.message()};
    }
    return size - wholeEnd;
}
