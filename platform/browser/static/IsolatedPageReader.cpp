#include "browser/static/IsolatedPageReader.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include "browser/HostPage.h"
#include "browser/static/HTMLDocument.h"
#include "foundation/ChildProcess.h"
#include "foundation/FileDescriptor.h"
#include "foundation/Sanitizer.h"

namespace {

using Clock = std::chrono::steady_clock;

// A sanitizer maps its own allocations in ways an address-space limit would break; there only the
// parser's own bound holds.
constexpr bool kSanitized = kAddressSanitizer;

// How the reader ends when the parser asks for more memory than it may have.
constexpr int kOutOfMemoryStatus = 3;
// What the reader may send back: far more than any outline of a page within the size limit.
constexpr size_t kMostAnswerBytes = size_t{256} << 20;

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
    nlohmann::json json{{"objects", std::move(objects)},
                        {"frames", outline.frameSources},
                        {"links", outline.links}};
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
        outline.links = json.at("links").get<std::vector<std::string>>();
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

// Everything on `fd` until its end.
bool ReadAll(int fd, std::string& into) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        into.append(buffer, static_cast<size_t>(got));
    }
}

// The page goes to the reader as a file in memory: it can be any size without the two sides
// waiting on each other's pipe.
Outcome<int> PageFile(std::string_view html) {
    const int fd = memfd_create("swfharvex-page", MFD_CLOEXEC);
    if (fd < 0) {
        return Failure{"the page reader", std::strerror(errno)};
    }
    FileDescriptor file(fd);
    if (!WriteAll(fd, html) || lseek(fd, 0, SEEK_SET) != 0) {
        return Failure{"the page reader", std::strerror(errno)};
    }
    return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// Starts the reader with the page on its input and `answer` as its output, its signals as a
// fresh program's (ours are the command's, for interruption).
Outcome<ChildProcess> StartReader(const std::string& program, int page, int answer,
                                  size_t memoryBytes, long long cpuSeconds) {
    ChildProcess::Options options;
    options.argv = {program, std::to_string(memoryBytes), std::to_string(cpuSeconds)};
    options.fds = {{STDIN_FILENO, page}, {STDOUT_FILENO, answer}, {STDERR_FILENO, STDERR_FILENO}};
    // In our group: a Ctrl-C at the terminal ends a long read along with the command.
    options.ownGroup = false;
    return ChildProcess::Spawn(options);
}

enum class Answer { kWhole, kLate, kOverlong };

// Reads the reader's answer until its end, the deadline or the most it may be.
Answer ReadAnswer(int fd, Clock::time_point deadline, std::string& answer) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Answer::kLate;
        }
        pollfd wait{fd, POLLIN, 0};
        const int ready =
            poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            return Answer::kLate; // cannot wait for it: give up on it as on a slow one
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return Answer::kWhole; // the reader is done, one way or another
        }
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > kMostAnswerBytes) {
            return Answer::kOverlong;
        }
    }
}

} // namespace

void IsolatedPageReader::Serve(int input, int output, size_t memoryBytes,
                               unsigned long cpuSeconds) {
    const rlimit noCore{0, 0};
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    setrlimit(RLIMIT_CORE, &noCore);
    setrlimit(RLIMIT_CPU, &cpu);
    if (const size_t mapped = MappedBytes(); mapped != 0 && !kSanitized) {
        const rlimit addressSpace{mapped + memoryBytes, mapped + memoryBytes};
        setrlimit(RLIMIT_AS, &addressSpace);
    }
    std::set_new_handler(&OutOfMemory);
    HTMLDocument::LimitParserMemory(memoryBytes);

    std::string html;
    if (!ReadAll(input, html)) {
        _exit(1);
    }
    // Never torn down (the process ends with _exit): the teardown recurses as deep as the page
    // nests, and the process's end frees it all anyway.
    const auto& document = *new HTMLDocument(html); // NOLINT(cppcoreguidelines-owning-memory)
    PageOutline outline;
    outline.baseHref = document.baseHref();
    outline.pluginObjects = document.pluginObjects();
    if (outline.pluginObjects.size() > kMostPluginObjects) {
        outline.pluginObjects.resize(kMostPluginObjects);
    }
    outline.frameSources = document.frameSources();
    if (outline.frameSources.size() > kMostFrameSources) {
        outline.frameSources.resize(kMostFrameSources);
    }
    outline.links = document.linkTargets();
    if (outline.links.size() > HostPage::kMostLinks) {
        outline.links.resize(HostPage::kMostLinks);
    }
    const std::string text =
        Encode(outline).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    _exit(WriteAll(output, text) ? 0 : 1);
}

std::string IsolatedPageReader::ProgramPath() {
    static const std::string path = [] {
        std::error_code error;
        const std::filesystem::path beside =
            std::filesystem::read_symlink("/proc/self/exe", error).parent_path() /
            "swfharvex-page-reader";
        if (!error && access(beside.c_str(), X_OK) == 0) {
            return beside.string();
        }
        return std::string(SWFHARVEX_PAGE_READER_PROGRAM);
    }();
    return path;
}

Outcome<PageOutline> IsolatedPageReader::Read(std::string_view html, const Limits& limits) {
    const Failure tooSlow{"the page", "reading the page took longer than " +
                                          Seconds(limits.timeLimit) + " (--page-timeout)"};
    const auto remaining = std::chrono::ceil<std::chrono::seconds>(limits.deadline - Clock::now());
    if (remaining.count() <= 0) {
        return tooSlow;
    }
    Outcome<int> page = PageFile(html);
    if (!page) {
        return page.failure();
    }
    const FileDescriptor pageFile(page.value());
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return Failure{"the page reader", std::strerror(errno)};
    }
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    Outcome<ChildProcess> started = StartReader(ProgramPath(), pageFile.get(), writing.get(),
                                                limits.extraMemoryBytes, remaining.count() + 1);
    if (!started) {
        return started.failure();
    }
    ChildProcess& child = started.value();
    writing.reset();

    std::string answer;
    const Answer got = ReadAnswer(reading.get(), limits.deadline, answer);
    const bool late = got == Answer::kLate;
    const bool overlong = got == Answer::kOverlong;
    if (late || overlong) {
        kill(child.pid(), SIGKILL);
    }
    const Outcome<> ended = child.Wait();
    if (late) {
        return tooSlow;
    }
    if (overlong) {
        return Failure{"the page", "the page holds more than the reader may answer"};
    }
    if (const int signal = child.endingSignal(); signal != 0) {
        if (signal == SIGXCPU || signal == SIGKILL) {
            return tooSlow;
        }
        return Failure{"the page", "the page reader crashed (" + ChildProcess::SignalName(signal) +
                                       "): the page is too large or too deeply nested to read"};
    }
    if (child.exitStatus() == kOutOfMemoryStatus) {
        return Failure{"the page", "reading the page needs more than " +
                                       Megabytes(limits.extraMemoryBytes) + " of memory"};
    }
    if (!ended) {
        return Failure{"the page", "the page reader failed (" + ended.failure().why + ")"};
    }
    return Decode(answer);
}
