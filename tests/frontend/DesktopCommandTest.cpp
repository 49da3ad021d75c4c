#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ReadWholeFile.h"
#include "TempDir.h"

namespace {

// `swfharvex` with no command, as a child with its own home folder; stdout and stderr are
// read through pipes.
class DesktopChild {
public:
    DesktopChild(const TempDir& home, const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            setenv("HOME", home.Path().c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home.Path() / ".config").c_str(), 1);
            std::vector<std::string> all{HVX_SWFHARVEX};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& arg : all) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~DesktopChild() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        close(m_out);
        close(m_err);
    }
    DesktopChild(const DesktopChild&) = delete;
    DesktopChild& operator=(const DesktopChild&) = delete;
    DesktopChild(DesktopChild&&) = delete;
    DesktopChild& operator=(DesktopChild&&) = delete;

    // Standard output up to the first line end (or its end).
    std::string FirstLine() {
        std::string line;
        char c = 0;
        while (read(m_out, &c, 1) == 1) {
            line.push_back(c);
            if (c == '\n') {
                break;
            }
        }
        return line;
    }
    static std::string ReadAll(int fd) {
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(got));
        }
        return text;
    }
    std::string RestOfOutput() { return ReadAll(m_out); }
    std::string Errors() { return ReadAll(m_err); }
    void Signal(int number) { kill(m_pid, number); }
    // The exit status, or -1 for death by a signal.
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

int FreePort() {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

TEST(DesktopCommandTest, PrintsOneAddressServesItAndStopsCleanlyOnEitherSignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        TempDir home;
        const int port = FreePort();
        DesktopChild child(home, {"--no-open", "--port", std::to_string(port)});
        const std::string line = child.FirstLine();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match,
                                     std::regex(R"(SWFHarvex desktop: http://127\.0\.0\.1:(\d+)/)"
                                                R"(\?token=([0-9a-f]{64})\n)")))
            << line << child.Errors();
        EXPECT_EQ(match[1], std::to_string(port));
        httplib::Client client("127.0.0.1", port);
        httplib::Result entered = client.Get(("/?token=" + match[2].str()).c_str());
        ASSERT_TRUE(entered);
        EXPECT_EQ(entered->status, 303);
        EXPECT_EQ(client.Get("/?token=" + std::string(64, '0'))->status, 403);

        child.Signal(signal);
        EXPECT_EQ(child.Wait(), 0) << signal;
        EXPECT_EQ(child.RestOfOutput(), "");
        // The preferences are written on the way out.
        const std::string settings =
            ReadWholeFile(home.Path() / ".config" / "swfharvex" / "com.apple.Safari.json");
        EXPECT_NE(settings.find("SWFHarvexPreferences"), std::string::npos) << signal;
    }
}

TEST(DesktopCommandTest, AnExplicitPortThatIsTakenIsAnError) {
    TempDir home;
    httplib::Server holder;
    const int port = holder.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    DesktopChild child(home, {"--no-open", "--port", std::to_string(port)});
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_EQ(child.RestOfOutput(), "");
    EXPECT_NE(child.Errors().find(std::to_string(port)), std::string::npos);
}

// Loading the plug-in empties the capture folder: a second desktop on the same home must not,
// and says who holds it.
TEST(DesktopCommandTest, ASecondDesktopOnTheSameHomeRefuses) {
    TempDir home;
    DesktopChild first(home, {"--no-open", "--port", std::to_string(FreePort())});
    ASSERT_NE(first.FirstLine().find("SWFHarvex desktop: "), std::string::npos) << first.Errors();
    const std::string kept = (home.Path() / "Documents/SWFHarvexData/kept.swf").string();
    std::filesystem::create_directories(home.Path() / "Documents/SWFHarvexData");
    std::ofstream(kept) << "caught by the first";

    DesktopChild second(home, {"--no-open", "--port", std::to_string(FreePort())});
    EXPECT_EQ(second.Wait(), 4);
    EXPECT_NE(second.Errors().find("in use by swfharvex desktop (pid "), std::string::npos);
    EXPECT_EQ(ReadWholeFile(kept), "caught by the first");
}

} // namespace
