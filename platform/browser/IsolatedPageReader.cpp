#include "browser/IsolatedPageReader.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "browser/HTMLDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

// A sanitizer reserves terabytes of address space for its shadow, and maps its own allocations
// in ways an address-space limit would break; there only the parser's own bound holds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// How the reader ends when the parser asks for more memory than it may have.
constexpr int kOutOfMemoryStatus = 3;
// What the reader may send back: far more than any outline of a page within the size limit.
constexpr size_t kMostAnswerBytes = size_t{256} << 20;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;

    int get() const { return m_fd; }
    void reset() {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = -1;
    }

private:
    int m_fd;
};

std::string Seconds(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(duration.count()) / 1000);
    return text;
}

std::string Megabytes(size_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

// The address space this process has mapped, which the reader inherits.
size_t MappedBytes() {
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0;
    }
    unsigned long pages = 0;
    if (std::fscanf(statm, "%lu", &pages) != 1) {
        pages = 0;
    }
    std::fclose(statm);
    return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

nlohmann::json Encode(const PageOutline& outline) {
    nlohmann::json objects = nlohmann::json::array();
    for (const PluginObject& object : outline.pluginObjects) {
        nlohmann::json attributes = nlohmann::json::array();
        for (const auto& [name, value] : object.element->attributes()) {
            attributes.push_back({name, value});
        }
        objects.push_back({{"tag", object.element->tagName()},
                           {"attributes", std::move(attributes)},
                           {"url", object.urlText},
                           {"type", object.mimeType}});
    }
    nlohmann::json json{{"objects", std::move(objects)}, {"frames", outline.frameSources}};
    if (outline.baseHref) {
        json["base"] = *outline.baseHref;
    }
    return json;
}

Outcome<PageOutline> Decode(std::string_view text) {
    try {
        const nlohmann::json json = nlohmann::json::parse(text);
        PageOutline outline;
        if (json.contains("base")) {
            outline.baseHref = json.at("base").get<std::string>();
        }
        for (const nlohmann::json& object : json.at("objects")) {
            std::vector<DOMElement::Attribute> attributes;
            for (const nlohmann::json& attribute : object.at("attributes")) {
                attributes.emplace_back(attribute.at(0).get<std::string>(),
                                        attribute.at(1).get<std::string>());
            }
            outline.pluginObjects.push_back(
                {MakeRef<DOMElement>(object.at("tag").get<std::string>(), std::move(attributes)),
                 object.at("url").get<std::string>(), object.at("type").get<std::string>()});
        }
        outline.frameSources = json.at("frames").get<std::vector<std::string>>();
        return outline;
    } catch (const nlohmann::json::exception& error) {
        return Failure{"the page reader's answer", error.what()};
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

[[noreturn]] void OutOfMemory() {
    _exit(kOutOfMemoryStatus);
}

// The reader, in the forked child. Only what is safe after a fork in a process with other
// threads: malloc, our own parser code, raw writes; never the run loop, the log or a lock of
// ours. It leaves with _exit and without tearing the parse down: the teardown recurses as deep as
// the page nests, and the process's end frees it all anyway.
[[noreturn]] void ReadInChild(std::string_view html, int answer, rlim_t memory, size_t parserMemory,
                              rlim_t cpuSeconds) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU}) {
        std::signal(signal, SIG_DFL);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit noCore{0, 0};
    const rlimit addressSpace{memory, memory};
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    setrlimit(RLIMIT_CORE, &noCore);
    setrlimit(RLIMIT_CPU, &cpu);
    if (memory != 0 && !kSanitized) {
        setrlimit(RLIMIT_AS, &addressSpace);
    }
    std::set_new_handler(&OutOfMemory);
    HTMLDocument::LimitParserMemory(parserMemory);

    const HTMLDocument document(html);
    PageOutline outline;
    outline.baseHref = document.baseHref();
    outline.pluginObjects = document.pluginObjects();
    if (outline.pluginObjects.size() > IsolatedPageReader::kMostPluginObjects) {
        outline.pluginObjects.resize(IsolatedPageReader::kMostPluginObjects);
    }
    outline.frameSources = document.frameSources();
    if (outline.frameSources.size() > IsolatedPageReader::kMostFrameSources) {
        outline.frameSources.resize(IsolatedPageReader::kMostFrameSources);
    }
    const std::string text =
        Encode(outline).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    _exit(WriteAll(answer, text) ? 0 : 1);
}

std::string SignalName(int signal) {
    const char* name = sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

} // namespace

Outcome<PageOutline> IsolatedPageReader::Read(std::string_view html, const Limits& limits) {
    const Failure tooSlow{"the page", "reading the page took longer than " +
                                          Seconds(limits.timeLimit) + " (--page-timeout)"};
    // Made before the fork, so that the child never registers a class (which takes a lock).
    DOMElement::ClassObject();

    const auto remaining = std::chrono::ceil<std::chrono::seconds>(limits.deadline - Clock::now());
    if (remaining.count() <= 0) {
        return tooSlow;
    }
    const size_t mapped = MappedBytes();
    const rlim_t memory = mapped == 0 ? 0 : static_cast<rlim_t>(mapped + limits.extraMemoryBytes);

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return Failure{"the page reader", std::strerror(errno)};
    }
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    const pid_t child = fork();
    if (child < 0) {
        return Failure{"the page reader", std::strerror(errno)};
    }
    if (child == 0) {
        reading.reset();
        ReadInChild(html, writing.get(), memory, limits.extraMemoryBytes,
                    static_cast<rlim_t>(remaining.count()) + 1);
    }
    writing.reset();

    std::string answer;
    bool late = false;
    bool overlong = false;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(limits.deadline - Clock::now());
        if (left.count() <= 0) {
            late = true;
            break;
        }
        pollfd wait{reading.get(), POLLIN, 0};
        const int ready =
            poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            late = true; // cannot wait for it: give up on it as on a slow one
            break;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t got = read(reading.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // the reader is done, one way or another
        }
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > kMostAnswerBytes) {
            overlong = true;
            break;
        }
    }
    if (late || overlong) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (late) {
        return tooSlow;
    }
    if (overlong) {
        return Failure{"the page", "the page holds more than the reader may answer"};
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU || signal == SIGKILL) {
            return tooSlow;
        }
        return Failure{"the page", "the page reader crashed (" + SignalName(signal) +
                                       "): the page is too large or too deeply nested to read"};
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kOutOfMemoryStatus) {
        return Failure{"the page", "reading the page needs more than " +
                                       Megabytes(limits.extraMemoryBytes) + " of memory"};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Failure{"the page", "the page reader failed (exit status " +
                                       std::to_string(WEXITSTATUS(status)) + ")"};
    }
    return Decode(answer);
}
