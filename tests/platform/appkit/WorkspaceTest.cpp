#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "ReadWholeFile.h"
#include "RecordingWorkspaceBackend.h"
#include "TempDir.h"
#include "appkit/NSWorkspace.h"
#include "appkit/ProgramLookup.h"
#include "appkit/XdgWorkspaceBackend.h"
#include "foundation/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

// Installs a recording backend for one test and puts the previous one back.
class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<RecordingWorkspaceBackend>();
        recording = backend.get();
        previous = NSWorkspace::sharedWorkspace().setBackend(std::move(backend));
    }
    void TearDown() override { NSWorkspace::sharedWorkspace().setBackend(std::move(previous)); }

    RecordingWorkspaceBackend* recording = nullptr; // owned by the workspace
    std::unique_ptr<WorkspaceBackend> previous;
};

TEST_F(WorkspaceTest, RequestsReachTheBackendWithTheirArguments) {
    NSWorkspace& workspace = NSWorkspace::sharedWorkspace();
    EXPECT_TRUE(workspace.openURL("https://example.org/get?x=1"));
    EXPECT_TRUE(workspace.openURL("mailto:someone@example.org"));
    EXPECT_TRUE(workspace.openFile("/tmp/a.swf", "/Applications/Dissecta.app", true));
    EXPECT_TRUE(workspace.selectFile("/tmp/saved", ""));
    recording->setResult(false);
    Outcome<> refused = workspace.openFile("/tmp/b.swf", "", false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure(), (Failure{"/tmp/b.swf", RecordingWorkspaceBackend::kRefusal}));

    std::vector<WorkspaceCall> expected{
        {"openURL", {"https://example.org/get?x=1"}, false},
        {"openURL", {"mailto:someone@example.org"}, false},
        {"openFile", {"/tmp/a.swf", "/Applications/Dissecta.app"}, true},
        {"selectFile", {"/tmp/saved", ""}, false},
        {"openFile", {"/tmp/b.swf", ""}, false},
    };
    EXPECT_EQ(recording->calls(), expected);
}

TEST_F(WorkspaceTest, ArgumentsThatAreNoRequestNeverReachTheBackend) {
    NSWorkspace& workspace = NSWorkspace::sharedWorkspace();
    for (const char* url : {"", "example.org/page", "--help", "-x:y", ":nothing", "1http://a",
                            "http://a b", "http://a\nb", "ht tp://a"}) {
        EXPECT_FALSE(workspace.openURL(url)) << url;
    }
    EXPECT_FALSE(workspace.openFile("", "/Applications/Dissecta.app", true));
    EXPECT_FALSE(workspace.selectFile("", ""));
    EXPECT_TRUE(recording->calls().empty());
}

// A program of the test's own: it writes its arguments, one a line, to `output`.
std::string WriteRecorderScript(const std::string& path, const std::string& output) {
    std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << output << ".part'\nmv '"
                        << output << ".part' '" << output << "'\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// What the recorder wrote, once it has: the program runs detached, so this waits a while.
std::string WaitForOutput(const std::string& output) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(output) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadWholeFile(output);
}

TEST(ProgramLookupTest, AnApplicationPathNamesOneProgram) {
    TempDir dir;
    std::string output = dir / "unused";
    // An executable file is its own program; a plain file is none.
    std::string tool = WriteRecorderScript(dir / "tool", output);
    EXPECT_EQ(ExecutableForApplication(tool), tool);
    std::ofstream(dir / "plain") << "text";
    EXPECT_EQ(ExecutableForApplication(dir / "plain"), std::nullopt);
    EXPECT_EQ(ExecutableForApplication(dir / "missing"), std::nullopt);
    EXPECT_EQ(ExecutableForApplication(""), std::nullopt);

    // A folder: AppRun first, then the program named after the folder, then bin/.
    fs::create_directories(dir / "Viewer.app/bin");
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app"), std::nullopt);
    std::string only = WriteRecorderScript(dir / "Viewer.app/bin/run-viewer", output);
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app"), only);
    WriteRecorderScript(dir / "Viewer.app/bin/helper", output);
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app"), std::nullopt); // two: no guess
    std::string inBin = WriteRecorderScript(dir / "Viewer.app/bin/Viewer", output);
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app"), inBin);
    std::string named = WriteRecorderScript(dir / "Viewer.app/Viewer", output);
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app/"), named);
    std::string appRun = WriteRecorderScript(dir / "Viewer.app/AppRun", output);
    EXPECT_EQ(ExecutableForApplication(dir / "Viewer.app"), appRun);
}

TEST(ProgramLookupTest, ProgramsAreFoundOnASearchPath) {
    TempDir dir;
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    std::ofstream(dir / "one/opener") << "not executable";
    std::string found = WriteRecorderScript(dir / "two/opener", dir / "unused");
    std::string searchPath = (dir / "one") + "::" + (dir / "two");
    EXPECT_EQ(ChildProcess::FindProgram("opener", searchPath), found);
    EXPECT_EQ(ChildProcess::FindProgram("opener", dir / "one"), std::nullopt);
    EXPECT_EQ(ChildProcess::FindProgram("opener", ""), std::nullopt);
    EXPECT_EQ(ChildProcess::FindProgram(found, ""), found); // a path is taken as it is
    EXPECT_EQ(ChildProcess::FindProgram("", searchPath), std::nullopt);
}

TEST(XdgWorkspaceBackendTest, OpensAFileWithTheApplicationsProgram) {
    TempDir dir;
    std::string output = dir / "arguments";
    fs::create_directories(dir / "Viewer.app");
    WriteRecorderScript(dir / "Viewer.app/Viewer", output);
    std::ofstream(dir / "movie.swf") << "FWS";

    XdgWorkspaceBackend backend(dir / "no-opener-here");
    fs::path cwd = fs::current_path();
    fs::current_path(dir.Path());
    Outcome<> started = backend.OpenFile("movie.swf", dir / "Viewer.app", true);
    fs::current_path(cwd);
    ASSERT_TRUE(started.ok()) << started.failure().message();
    // The file goes as an absolute path, so that it never reads as an option.
    EXPECT_EQ(WaitForOutput(output), (dir / "movie.swf") + "\n");
}

TEST(XdgWorkspaceBackendTest, ARefusedOpenSaysWhatWasMissing) {
    TempDir dir;
    std::ofstream(dir / "movie.swf") << "FWS";
    fs::create_directories(dir / "Empty.app");
    fs::create_directories(dir / "Viewer.app");
    WriteRecorderScript(dir / "Viewer.app/Viewer", dir / "unused");
    std::ofstream(dir / "broken") << "#!/nonexistent/interpreter\n";
    fs::permissions(dir / "broken", fs::perms::owner_all);
    XdgWorkspaceBackend backend(dir / "no-opener-here");
    struct Case {
        std::string file;
        std::string app;
        Failure expected;
    };
    const Case cases[] = {
        {dir / "missing.swf", dir / "Viewer.app", {dir / "missing.swf", "no such file or folder"}},
        {dir / "movie.swf", dir / "Gone.app", {dir / "Gone.app", "no such application"}},
        {dir / "movie.swf",
         dir / "Empty.app",
         {dir / "Empty.app", "no program to start in the application"}},
        {dir / "movie.swf",
         "",
         {dir / "movie.swf", "no " + (dir / "no-opener-here") + " on PATH to open it with"}},
        // The program exists but cannot start: the exec's reason comes back.
        {dir / "movie.swf", dir / "broken", {dir / "broken", "No such file or directory"}},
    };
    for (const Case& c : cases) {
        Outcome<> opened = backend.OpenFile(c.file, c.app, false);
        ASSERT_FALSE(opened.ok()) << c.file << " with " << c.app;
        EXPECT_EQ(opened.failure(), c.expected) << opened.failure().message();
    }
}

TEST(XdgWorkspaceBackendTest, URLsAndRevealedFoldersGoToTheOpener) {
    TempDir dir;
    fs::create_directories(dir / "saved");
    std::ofstream(dir / "saved/movie.swf") << "FWS";
    std::string output = dir / "arguments";
    XdgWorkspaceBackend backend(WriteRecorderScript(dir / "opener", output),
                                dir / "no-bus-sender-here");

    ASSERT_TRUE(backend.OpenURL("https://example.org/a b"));
    EXPECT_EQ(WaitForOutput(output), "https://example.org/a b\n"); // one argument, no shell
    fs::remove(output);

    ASSERT_TRUE(backend.SelectFile(dir / "saved/movie.swf", ""));
    EXPECT_EQ(WaitForOutput(output), (dir / "saved") + "\n");
    fs::remove(output);

    ASSERT_TRUE(backend.SelectFile("", dir / "saved"));
    EXPECT_EQ(WaitForOutput(output), (dir / "saved") + "\n");

    EXPECT_FALSE(backend.SelectFile(dir / "saved/missing.swf", ""));
    EXPECT_FALSE(backend.SelectFile("", dir / "saved/movie.swf")); // a root is a folder
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name); old != nullptr) {
            m_old = old;
        }
        Set(value);
    }
    ~ScopedEnvironment() { Set(m_old); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            setenv(m_name, value->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(XdgWorkspaceBackendTest, ARevealedFileIsShownSelectedWhenASessionBusIsThere) {
    TempDir dir;
    fs::create_directories(dir / "saved");
    const std::string file = dir / "saved/my movie #1 é.swf";
    std::ofstream(file) << "FWS";
    const std::string busOutput = dir / "bus";
    const std::string openerOutput = dir / "opened";
    XdgWorkspaceBackend backend(WriteRecorderScript(dir / "opener", openerOutput),
                                WriteRecorderScript(dir / "bus-sender", busOutput));

    {
        ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        ASSERT_TRUE(backend.SelectFile(file, ""));
    }
    std::string uri = "file://" + (dir / "saved/my%20movie%20%231%20%C3%A9.swf");
    EXPECT_EQ(WaitForOutput(busOutput),
              "--session\n--type=method_call\n--dest=org.freedesktop.FileManager1\n"
              "/org/freedesktop/FileManager1\norg.freedesktop.FileManager1.ShowItems\n"
              "array:string:" +
                  uri + "\nstring:\n");
    EXPECT_FALSE(fs::exists(openerOutput));

    // Without a session bus the folder is opened instead.
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    ScopedEnvironment noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    ASSERT_TRUE(backend.SelectFile(file, ""));
    EXPECT_EQ(WaitForOutput(openerOutput), (dir / "saved") + "\n");
}

} // namespace
