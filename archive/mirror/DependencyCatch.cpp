#include "mirror/DependencyCatch.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "browser/ASCIIText.h"
#include "foundation/FileManager.h"
#include "foundation/RunLoop.h"
#include "mirror/MirrorPath.h"
#include "swf/BytecodeReferences.h"
#include "swf/MovieReferences.h"

namespace fs = std::filesystem;

namespace {

// Transfers of one movie's dependencies at a time; the service keeps its own per-host limit.
constexpr size_t kAtOnce = 6;
// What one file may name before the rest is only counted (the file bound cuts far earlier).
constexpr size_t kMostReferencesPerFile = 10'000;
constexpr size_t kMostReferenceBytesPerFile = size_t{4} << 20;
// Text read for addresses: variables and XML files are small; a big one is data, not a list.
constexpr size_t kMostTextBytes = size_t{4} << 20;

bool IsMovie(const std::string& head) {
    return head.size() >= 3 &&
           (head.starts_with("FWS") || head.starts_with("CWS") || head.starts_with("ZWS"));
}

// The strings of a text file (XML, URL-encoded variables) that look like addresses; those past
// kMostReferencesPerFile are only counted, in `leftOut`.
std::vector<std::string> TextReferences(const std::string& text, size_t& leftOut) {
    std::vector<std::string> found;
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end <= start) {
            return;
        }
        std::string token = text.substr(start, end - start);
        if (!LooksLikeReference(token)) {
            return;
        }
        if (found.size() < kMostReferencesPerFile) {
            found.push_back(std::move(token));
        } else {
            ++leftOut;
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '\'' || c == '<' || c == '>' || c == '=' || c == '&' || c == ' ' ||
            c == '\t' || c == '\r' || c == '\n' || c == '(' || c == ')') {
            flush(i);
            start = i + 1;
        }
    }
    flush(text.size());
    return found;
}

// A reference to something the player never loads from a server (script, mail, its own
// commands): not a dependency, and not worth a line in the report.
bool NeverLoaded(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.find('/') < colon) {
        return false;
    }
    const std::string scheme = ascii::ToLower(text.substr(0, colon));
    return scheme == "javascript" || scheme == "mailto" || scheme == "asfunction" ||
           scheme == "event" || scheme == "fscommand" || scheme == "vbscript";
}

// The caught movie into the mirror: a second name for the same file where the file system
// allows (no bytes copied, no room taken), else a copy.
Outcome<> Place(const fs::path& movie, const fs::path& target) {
    std::error_code error;
    fs::remove(target, error);
    fs::create_hard_link(movie, target, error);
    if (!error) {
        return {};
    }
    return FileManager::defaultManager().replaceItemByCopying(movie.string(), target.string());
}

// Whether `host` names this machine or a private network: a movie must not be able to make us
// fetch from the services there (the desktop's own servers among them).
bool LocalHost(std::string host) {
    host = ascii::ToLower(host);
    if (host == "localhost" || host.ends_with(".localhost")) {
        return true;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        in6_addr address{};
        if (inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &address) != 1) {
            return true; // not an address we can judge: not fetched
        }
        const uint8_t* bytes = address.s6_addr;
        static constexpr uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::equal(bytes, bytes + 12, kMappedPrefix)) {
            host = std::to_string(bytes[12]) + "." + std::to_string(bytes[13]) + "." +
                   std::to_string(bytes[14]) + "." + std::to_string(bytes[15]);
        } else {
            return IN6_IS_ADDR_LOOPBACK(&address) || IN6_IS_ADDR_UNSPECIFIED(&address) ||
                   IN6_IS_ADDR_LINKLOCAL(&address) || (bytes[0] & 0xfe) == 0xfc;
        }
    }
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) {
        return false; // a name: judged by the web, not by us
    }
    const uint32_t ip = ntohl(address.s_addr);
    const auto in = [ip](uint32_t network, int bits) {
        return (ip >> (32 - bits)) == (network >> (32 - bits));
    };
    return in(0x00000000, 8) || in(0x7f000000, 8) || in(0x0a000000, 8) || in(0xac100000, 12) ||
           in(0xc0a80000, 16) || in(0xa9fe0000, 16) || in(0x64400000, 10);
}

std::string OriginOf(const URL& url) {
    const int port = url.port().value_or(url.scheme() == "https" ? 443 : 80);
    return url.scheme() + "://" + url.host() + ":" + std::to_string(port);
}

} // namespace

DependencyCatch::DependencyCatch(fs::path mirror, CaughtMovie movie, DependencyBounds bounds)
    : m_mirror(std::move(mirror)), m_movie(std::move(movie)), m_bounds(bounds) {
}

DependencyCatch::~DependencyCatch() {
    *m_alive = false;
    // Running downloads are cancelled by their destructors; nothing calls back afterwards.
    m_running.clear();
}

void DependencyCatch::Start(std::function<void()> done) {
    m_done = std::move(done);
    // Where the movie, its page and its base are: a local address is fetched only from those.
    for (const std::string& known : {m_movie.address, m_movie.origin.page, m_movie.origin.base}) {
        if (const std::optional<URL> url = URL::URLWithString(known)) {
            m_localOrigins.insert(OriginOf(*url));
        }
    }
    const std::optional<URL> address = URL::URLWithString(m_movie.address);
    Outcome<std::string> place =
        address ? MirrorPath(*address)
                : Outcome<std::string>(Failure{m_movie.address, "not an address"});
    if (place) {
        const fs::path target = m_mirror / place.value();
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        Outcome<> placed = error
                               ? Outcome<>(Failure{target.parent_path().string(), error.message()})
                               : Place(m_movie.file, target);
        if (placed) {
            m_movieMirrorPath = place.value();
            m_seen.insert(address->absoluteString());
            Read(target, *address, 1);
        } else {
            m_movieFailure = placed.failure().message();
        }
    } else {
        m_movieFailure = place.failure().message();
    }
    FinishWhenIdle();
}

void DependencyCatch::Read(const fs::path& file, const URL& address, int depth) {
    if (depth > m_bounds.depth) {
        return;
    }
    // A movie is read by the movie library; a text file whole, when it is small enough to be a
    // list of addresses rather than data.
    std::ifstream in(file, std::ios::binary);
    std::string head(3, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    if (!IsMovie(head) && !error && size <= kMostTextBytes) {
        head.resize(static_cast<size_t>(size));
        in.seekg(0);
        in.read(head.data(), static_cast<std::streamsize>(size));
        head.resize(static_cast<size_t>(in.gcount()));
    }
    if (IsMovie(head)) {
        const MovieReferences references =
            ReadMovieReferences(file.string(), kMostReferencesPerFile, kMostReferenceBytesPerFile);
        for (const MovieReference& reference : references.kept) {
            Want(reference.text, address, depth);
        }
        m_leftOut += references.leftOut;
    } else if (head.size() > 3 && head.find('\0') == std::string::npos) {
        for (const std::string& text : TextReferences(head, m_leftOut)) {
            Want(text, address, depth);
        }
    }
}

void DependencyCatch::Want(const std::string& text, const URL& namedBy, int depth) {
    if (NeverLoaded(text)) {
        return;
    }
    Wanted wanted;
    wanted.depth = depth;
    const auto add = [&wanted](const std::optional<URL>& url) {
        if (url && std::find(wanted.candidates.begin(), wanted.candidates.end(), *url) ==
                       wanted.candidates.end()) {
            wanted.candidates.push_back(*url);
        }
    };
    // As the player resolves it: the object's base, else the page; then the folder of the file
    // that names it, and the movie's own.
    const std::string& first =
        m_movie.origin.base.empty() ? m_movie.origin.page : m_movie.origin.base;
    if (const std::optional<URL> base = URL::URLWithString(first)) {
        add(URL::URLWithStringRelativeTo(text, *base));
    }
    add(URL::URLWithStringRelativeTo(text, namedBy));
    if (const std::optional<URL> movie = URL::URLWithString(m_movie.address)) {
        add(URL::URLWithStringRelativeTo(text, *movie));
    }
    Queue(std::move(wanted));
}

void DependencyCatch::StartPlaying() {
    m_playing = true;
}

void DependencyCatch::Played(const std::string& address) {
    const std::optional<URL> url = URL::URLWithString(address);
    if (!m_playing || !url || NeverLoaded(address)) {
        return;
    }
    // The player asked for exactly this: there is no other address it may mean.
    Wanted wanted;
    wanted.candidates.push_back(*url);
    wanted.foundBy = "played";
    Queue(std::move(wanted));
}

void DependencyCatch::PlayEnded(std::string failure) {
    if (!m_playing) {
        return;
    }
    m_playing = false;
    m_playFailure = std::move(failure);
    FinishWhenIdle();
}

void DependencyCatch::Queue(Wanted wanted) {
    // A file already had (the movie, or one caught or on its way) is not fetched again, whichever
    // of its addresses names it.
    if (wanted.candidates.empty() ||
        std::any_of(wanted.candidates.begin(), wanted.candidates.end(),
                    [this](const URL& url) { return m_seen.contains(url.absoluteString()); })) {
        return;
    }
    m_seen.insert(wanted.candidates.front().absoluteString());
    if (m_files >= m_bounds.mostFiles) {
        ++m_leftOut;
        return;
    }
    ++m_files;
    m_queue.push_back(std::move(wanted));
    Pump();
}

void DependencyCatch::Pump() {
    while (m_running.size() < kAtOnce && !m_queue.empty()) {
        Wanted wanted = std::move(m_queue.front());
        m_queue.pop_front();
        StartNext(std::move(wanted));
    }
    FinishWhenIdle();
}

void DependencyCatch::StartNext(Wanted wanted) {
    while (wanted.tried < wanted.candidates.size()) {
        const URL& address = wanted.candidates[wanted.tried++];
        Outcome<std::string> place = MirrorPath(address);
        if (!place) {
            wanted.lastReason = place.failure().why;
            continue;
        }
        if (LocalHost(address.host()) && !m_localOrigins.contains(OriginOf(address))) {
            wanted.lastReason = "on this machine or a private network, where the page was not";
            continue;
        }
        if (m_bytes >= m_bounds.mostBytes) {
            wanted.lastReason =
                "the movie's dependencies reached " + std::to_string(m_bounds.mostBytes) + " bytes";
            break;
        }
        std::unique_ptr<WebDownload> download = WebDownload::initWithRequest(address, *this);
        if (!download) {
            wanted.lastReason = "not an http or https address";
            continue;
        }
        m_tried.insert(address.absoluteString());
        wanted.transferred = true;
        const WebDownload* key = download.get();
        m_running.emplace(key, Running{std::move(wanted), std::move(download), place.value(), 0});
        return;
    }
    Dependency lost;
    lost.address = wanted.candidates.front().absoluteString();
    lost.foundBy = wanted.foundBy;
    lost.reason = wanted.lastReason;
    lost.status = wanted.transferred ? "failed" : "refused";
    Record(std::move(lost));
}

void DependencyCatch::downloadDecideDestinationWithSuggestedFilename(WebDownload& download,
                                                                     const std::string&) {
    const auto running = m_running.find(&download);
    if (running == m_running.end()) {
        return;
    }
    const fs::path target = m_mirror / running->second.mirrorPath;
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) {
        download.cancel();
        Ended(download, target.parent_path().string() + ": " + error.message());
        return;
    }
    download.setDestination(target.string(), true);
}

void DependencyCatch::downloadDidReceiveDataOfLength(WebDownload& download, uint64_t length) {
    const auto running = m_running.find(&download);
    if (running == m_running.end()) {
        return;
    }
    running->second.bytes += length;
    if (m_bytes + running->second.bytes > m_bounds.mostBytes) {
        download.cancel();
        Ended(download,
              "the movie's dependencies passed " + std::to_string(m_bounds.mostBytes) + " bytes");
    }
}

void DependencyCatch::downloadDidFinish(WebDownload& download) {
    Ended(download, std::nullopt);
}

void DependencyCatch::downloadDidFailWithError(WebDownload& download, const NSError& error) {
    Ended(download, error.localizedDescription);
}

void DependencyCatch::Ended(WebDownload& download, std::optional<std::string> failure) {
    const auto running = m_running.find(&download);
    if (running == m_running.end()) {
        return;
    }
    Running ended = std::move(running->second);
    m_running.erase(running);
    m_ended.push_back(std::move(ended.download));
    RunLoop::Main().Post([this, alive = m_alive] {
        if (*alive) {
            m_ended.clear();
        }
    });
    const URL address = ended.wanted.candidates[ended.wanted.tried - 1];
    if (failure) {
        // The next address it may mean, or its loss; past the bound there is no next.
        ended.wanted.lastReason = *failure;
        if (m_bytes + ended.bytes > m_bounds.mostBytes) {
            ended.wanted.tried = ended.wanted.candidates.size();
        }
        StartNext(std::move(ended.wanted));
    } else {
        m_bytes += ended.bytes;
        Dependency caught;
        caught.address = address.absoluteString();
        if (ended.wanted.tried > 1) {
            caught.requestedAs = ended.wanted.candidates.front().absoluteString();
        }
        caught.mirrorPath = ended.mirrorPath;
        caught.foundBy = ended.wanted.foundBy;
        caught.size = ended.bytes;
        caught.status = "caught";
        m_seen.insert(caught.address);
        Record(std::move(caught));
        Read(m_mirror / ended.mirrorPath, address, ended.wanted.depth + 1);
    }
    Pump();
}

void DependencyCatch::Record(Dependency dependency) {
    m_dependencies.push_back(std::move(dependency));
}

void DependencyCatch::FinishWhenIdle() {
    if (m_finished || m_finishPosted || busy()) {
        return;
    }
    m_finishPosted = true;
    RunLoop::Main().Post([this, alive = m_alive] {
        if (!*alive) {
            return;
        }
        m_finishPosted = false;
        // Playing may have begun since: its end looks again.
        if (busy()) {
            return;
        }
        m_finished = true;
        if (m_done) {
            m_done();
        }
    });
}

nlohmann::json DependencyCatch::ManifestEntry() const {
    nlohmann::json files = nlohmann::json::array();
    for (const Dependency& dependency : m_dependencies) {
        nlohmann::json entry{{"address", dependency.address},
                             {"mirrorPath", dependency.mirrorPath},
                             {"size", dependency.size},
                             {"foundBy", dependency.foundBy},
                             {"status", dependency.status}};
        if (!dependency.reason.empty()) {
            entry["reason"] = dependency.reason;
        }
        if (!dependency.requestedAs.empty()) {
            entry["requestedAs"] = dependency.requestedAs;
        }
        files.push_back(std::move(entry));
    }
    nlohmann::json entry{
        {"movie", m_movie.address},        {"file", m_movie.file.filename().string()},
        {"mirrorPath", m_movieMirrorPath}, {"page", m_movie.origin.page},
        {"base", m_movie.origin.base},     {"flashvars", m_movie.origin.flashvars},
        {"dependencies", std::move(files)}};
    if (!m_movieFailure.empty()) {
        entry["reason"] = m_movieFailure;
    }
    if (m_leftOut > 0) {
        entry["leftOut"] = m_leftOut;
    }
    if (!m_playFailure.empty()) {
        entry["notPlayed"] = m_playFailure;
    }
    return entry;
}
