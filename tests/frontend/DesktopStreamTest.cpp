#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DesktopHarness.h"
#include "appkit/NSApplication.h"
#include "appkit/NSButton.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindow.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

using json = nlohmann::json;

// Reads the event stream on a thread of its own and keeps every complete event.
class StreamReader {
public:
    explicit StreamReader(const DesktopHarness& desktop)
        : m_thread([this, &desktop] {
              httplib::Client client = desktop.Client();
              client.Get("/events", desktop.Auth(), [this](const char* data, size_t length) {
                  std::lock_guard lock(m_mutex);
                  m_text.append(data, length);
                  RunLoop::Main().Post([] {});
                  return !m_stop;
              });
          }) {}
    ~StreamReader() {
        m_stop = true;
        m_thread.join();
    }
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;
    StreamReader(StreamReader&&) = delete;
    StreamReader& operator=(StreamReader&&) = delete;

    // Waits, running the main loop, for an event of that name whose data passes `test`.
    std::optional<json> Await(const std::string& name,
                              const std::function<bool(const json&)>& test) {
        std::optional<json> found;
        RunLoop::Main().RunUntil(
            [&] {
                std::lock_guard lock(m_mutex);
                for (size_t at = 0;
                     (at = m_text.find("event: " + name + "\ndata: ", at)) != std::string::npos;) {
                    at += name.size() + 14;
                    const size_t end = m_text.find("\n\n", at);
                    if (end == std::string::npos) {
                        break;
                    }
                    json data = json::parse(m_text.substr(at, end - at));
                    if (test(data)) {
                        found = data;
                        return true;
                    }
                }
                return false;
            },
            std::chrono::seconds(10));
        return found;
    }

    bool AwaitText(const std::string& text) {
        return RunLoop::Main().RunUntil(
            [&] {
                std::lock_guard lock(m_mutex);
                return m_text.find(text) != std::string::npos;
            },
            std::chrono::seconds(10));
    }

private:
    std::mutex m_mutex;
    std::string m_text;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(DesktopStreamTest, ASnapshotFirstThenChangesAndClosesAsTheModelMakesThem) {
    DesktopHarness desktop;
    Ref<NSWindow> window = MakeRef<NSWindow>("Alpha");
    window->makeKeyAndOrderFront(nullptr);
    const uint64_t oid = window->objectId();
    StreamReader stream(desktop);

    std::optional<json> snapshot = stream.Await("snapshot", [&](const json& data) {
        for (const json& shown : data["windows"]) {
            if (shown["oid"] == oid) {
                return shown == window->Describe();
            }
        }
        return false;
    });
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(snapshot->contains("menubar"));

    window->setTitle("Beta");
    EXPECT_TRUE(stream.Await("window", [&](const json& data) {
        return data["oid"] == oid && data == window->Describe();
    }));
    window->close();
    EXPECT_TRUE(stream.Await("closed", [&](const json& data) { return data["oid"] == oid; }));
    // Between events the stream tells the client it is alive.
    EXPECT_TRUE(stream.AwaitText(": ping\n\n"));
}

// A target that records the sender and the event current when its action ran.
class Recorder : public NSObject {
public:
    Recorder() : NSObject(ClassObject()) {}
    static Class ClassObject() {
        static Class cls = [] {
            Class made =
                RegisterRuntimeClass<Recorder>("DesktopEventRecorder", NSObject::RootClass());
            class_defineMethod(
                made, "record:", +[](id self, SEL, id sender) {
                    auto* recorder = static_cast<Recorder*>(self);
                    recorder->sender = sender;
                    recorder->event = NSApp().currentEvent();
                    recorder->onMainThread = RunLoop::IsMainThread();
                });
            return made;
        }();
        return cls;
    }
    id sender = nullptr;
    std::optional<NSEvent> event;
    bool onMainThread = false;
};

TEST(DesktopStreamTest, EventsReachTheModelOnTheMainThreadAsItsOwnMethods) {
    DesktopHarness desktop;
    Ref<Recorder> recorder = MakeRef<Recorder>();
    Ref<NSButton> button = MakeRef<NSButton>();
    button->setTarget(recorder.get());
    button->setAction(sel_registerName("record:"));
    Ref<NSTextField> field = MakeRef<NSTextField>();
    field->setEditable(true);
    Ref<NSTextField> label = MakeRef<NSTextField>();
    label->setEditable(false);
    label->setStringValue("fixed");
    const auto oid = [](const ModelObject& object) { return std::to_string(object.objectId()); };

    const struct {
        const char* name;
        std::string body;
        int status;
    } table[] = {
        {"click a button", R"({"kind":"click","oid":)" + oid(*button) + "}", 200},
        {"edit a field", R"({"kind":"edit","text":"typed","oid":)" + oid(*field) + "}", 200},
        {"click what takes no clicks", R"({"kind":"click","oid":)" + oid(*field) + "}", 400},
        {"edit a label", R"({"kind":"edit","text":"no","oid":)" + oid(*label) + "}", 409},
    };
    for (const auto& row : table) {
        httplib::Result result = desktop.OffMain([&] {
            return desktop.Client().Post("/event", desktop.Auth(), row.body, "application/json");
        });
        ASSERT_TRUE(result) << row.name;
        EXPECT_EQ(result->status, row.status) << row.name << ": " << result->body;
    }
    EXPECT_EQ(recorder->sender, static_cast<id>(button->senderObject()));
    ASSERT_TRUE(recorder->event);
    EXPECT_EQ(recorder->event->type, NSEventType::LeftMouseUp);
    EXPECT_TRUE(recorder->onMainThread);
    EXPECT_EQ(field->stringValue(), "typed");
    EXPECT_EQ(label->stringValue(), "fixed");
}

} // namespace
