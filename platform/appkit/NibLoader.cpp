#include "appkit/NibLoader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "appkit/ActionSender.h"
#include "appkit/NibControlDecoders.h"
#include "appkit/NibDecoderTable.h"
#include "appkit/NibMenuDecoders.h"
#include "appkit/NibOutletTable.h"
#include "foundation/BoundedJson.h"
#include "runtime/MessageSend.h"

namespace {

using nlohmann::json;

constexpr size_t kMaxFileSize = 4U << 20U;
constexpr int kMaxDepth = 64;
// Room for kMaxDepth nested objects, each a few levels of properties and lists deep.
constexpr int kMaxJsonNesting = 512;
constexpr std::string_view kActionTypes = "v@:@";
constexpr std::string_view kAwakeTypes = "v@:";

// Why a load stops; it never leaves this file.
class LoadFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <typename... Parts> std::string Text(const Parts&... parts) {
    std::string text;
    (text.append(std::string_view(parts)), ...);
    return text;
}

[[noreturn]] void Fail(const std::string& reason) {
    throw LoadFailure(reason);
}

std::string ReadFile(const std::string& path) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        Fail("no such file");
    }
    if (!std::filesystem::is_regular_file(status)) {
        Fail("not a regular file");
    }
    if (std::filesystem::file_size(path, error) > kMaxFileSize || error) {
        Fail("too large for an interface file");
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream.is_open()) {
        Fail("cannot be read");
    }
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad()) {
        Fail("cannot be read");
    }
    return text;
}

std::string ClassOf(const NSObject* object) {
    return NSStringFromClass(object_getClass(object));
}

// One load: the objects made so far, by id, and the connections checked but not yet made.
class NibReading {
public:
    explicit NibReading(id owner) : m_owner(owner) {}

    void Run(const json& document) {
        if (!document.is_object() || !document.contains("objects") ||
            !document["objects"].is_array()) {
            Fail("no \"objects\" array");
        }
        for (const json& description : document["objects"]) {
            Instantiate(description, true, 0);
        }
        ApplyProperties();
        std::vector<std::function<void()>> connections;
        CheckOutlets(Section(document, "outlets"), connections);
        CheckActions(Section(document, "actions"), connections);
        CheckAwake();
        for (const auto& connect : connections) {
            connect();
        }
        Awake();
    }

    NibContents& contents() { return m_contents; }

private:
    static const json& Section(const json& document, const char* key) {
        static const json kEmpty = json::object();
        auto found = document.find(key);
        if (found == document.end()) {
            return kEmpty;
        }
        if (!found->is_object()) {
            Fail(Text("\"", key, "\" is not an object"));
        }
        return *found;
    }

    void Instantiate(const json& description, bool topLevel, int depth) {
        if (depth > kMaxDepth) {
            Fail("objects nested too deeply");
        }
        if (!description.is_object() || !description.contains("class") ||
            !description["class"].is_string() || !description.contains("id") ||
            !description["id"].is_string() || description["id"].get<std::string>().empty()) {
            Fail(R"(an object description lacks a "class" or an "id" string)");
        }
        NibObjectRecord record;
        record.identifier = description["id"].get<std::string>();
        record.className = description["class"].get<std::string>();
        record.topLevel = topLevel;
        std::string what = Text("object '", record.identifier, "'");
        if (m_byId.contains(record.identifier)) {
            Fail(Text(what, ": the id is used twice"));
        }
        Class cls = NSClassFromString(record.className);
        if (cls == nullptr) {
            Fail(Text(what, ": unknown class '", record.className, "'"));
        }
        try {
            record.object = class_createInstance(cls);
        } catch (const MessageSendError& error) {
            Fail(Text(what, ": ", error.what()));
        }
        record.frame = ReadFrame(description, what);
        if (auto properties = description.find("properties"); properties != description.end()) {
            if (!properties->is_object()) {
                Fail(Text(what, ": \"properties\" is not an object"));
            }
            record.properties = *properties;
        }
        if (topLevel) {
            m_contents.topLevelObjects.push_back(record.object);
        }
        m_byId.emplace(record.identifier, record.object.get());
        json properties = record.properties;
        m_contents.objects.push_back(std::move(record));
        FindNested(properties, depth + 1);
    }

    static std::optional<NSRect> ReadFrame(const json& description, const std::string& what) {
        auto frame = description.find("frame");
        if (frame == description.end()) {
            return std::nullopt;
        }
        if (!frame->is_array() || frame->size() != 4 ||
            !std::all_of(frame->begin(), frame->end(),
                         [](const json& value) { return value.is_number(); })) {
            Fail(Text(what, ": \"frame\" is not [x, y, width, height]"));
        }
        return NSMakeRect((*frame)[0].get<float>(), (*frame)[1].get<float>(),
                          (*frame)[2].get<float>(), (*frame)[3].get<float>());
    }

    void FindNested(const json& value, int depth) {
        if (depth > kMaxDepth) {
            Fail("objects nested too deeply");
        }
        if (value.is_object() && value.contains("class")) {
            Instantiate(value, false, depth);
        } else if (value.is_structured()) {
            for (const json& element : value) {
                FindNested(element, depth + 1);
            }
        }
    }

    NSObject* Resolve(const json& reference) const {
        const json* identifier = &reference;
        if (reference.is_object()) {
            auto found = reference.find("id");
            if (found == reference.end()) {
                return nullptr;
            }
            identifier = &*found;
        }
        if (!identifier->is_string()) {
            return nullptr;
        }
        auto found = m_byId.find(identifier->get<std::string>());
        return found == m_byId.end() ? nullptr : found->second;
    }

    void ApplyProperties() {
        NibResolver resolve = [this](const json& reference) { return Resolve(reference); };
        for (const NibObjectRecord& record : m_contents.objects) {
            for (const NibDecoder* decoder : NibDecoderTable::DecodersFor(record.object->isa())) {
                std::string reason = (*decoder)(*record.object, record.properties, resolve);
                if (!reason.empty()) {
                    Fail(Text("object '", record.identifier, "' (", record.className,
                              "): ", reason));
                }
            }
        }
    }

    NSObject* ObjectNamedIn(const std::string& section, const std::string& key,
                            const json& value) const {
        if (!value.is_string()) {
            Fail(Text(section, " '", key, "': the value is not an object id"));
        }
        NSObject* object = Resolve(value);
        if (object == nullptr) {
            Fail(Text(section, " '", key, "': no object '", value.get<std::string>(), "'"));
        }
        if (m_owner == nullptr) {
            Fail(Text(section, " '", key, "': there is no owner"));
        }
        return object;
    }

    void CheckOutlets(const json& outlets, std::vector<std::function<void()>>& connections) {
        for (const auto& [name, value] : outlets.items()) {
            NSObject* object = ObjectNamedIn("outlet", name, value);
            const NibOutlet* outlet = NibOutletTable::Find(object_getClass(m_owner), name);
            if (outlet == nullptr) {
                Fail(Text("outlet '", name, "': the owner's class ", ClassOf(m_owner),
                          " declares no such outlet"));
            }
            if (!outlet->accepts(m_owner, object)) {
                Fail(Text("outlet '", name, "': object '", value.get<std::string>(), "' (",
                          ClassOf(object), ") does not fit it"));
            }
            connections.emplace_back(
                [outlet, owner = m_owner, object] { outlet->connect(owner, object); });
        }
    }

    void CheckActions(const json& actions, std::vector<std::function<void()>>& connections) {
        for (const auto& [control, value] : actions.items()) {
            if (!value.is_string()) {
                Fail(Text("action of '", control, "': the value is not a selector name"));
            }
            NSObject* object = ObjectNamedIn("action of", control, json(control));
            auto* sender = dynamic_cast<ActionSender*>(object);
            if (sender == nullptr) {
                Fail(Text("action of '", control, "': a ", ClassOf(object), " sends no actions"));
            }
            SEL action = sel_registerName(value.get<std::string>());
            Method method = class_getInstanceMethod(object_getClass(m_owner), action);
            if (method == nullptr) {
                Fail(Text("action of '", control, "': the owner's class ", ClassOf(m_owner),
                          " does not implement ", value.get<std::string>()));
            }
            if (method_getTypeEncoding(method) != kActionTypes) {
                Fail(Text("action of '", control, "': ", value.get<std::string>(), " takes '",
                          method_getTypeEncoding(method), "', not a sender"));
            }
            connections.emplace_back([sender, action, owner = m_owner] {
                sender->setTarget(owner);
                sender->setAction(action);
            });
        }
    }

    // Everything that will be woken, checked before anything is connected.
    std::vector<NSObject*> ToAwake() const {
        std::vector<NSObject*> objects;
        for (const NibObjectRecord& record : m_contents.objects) {
            objects.push_back(record.object.get());
        }
        if (m_owner != nullptr) {
            objects.push_back(m_owner);
        }
        return objects;
    }

    void CheckAwake() const {
        SEL awake = sel_registerName("awakeFromNib");
        for (NSObject* object : ToAwake()) {
            Method method = class_getInstanceMethod(object_getClass(object), awake);
            if (method != nullptr && method_getTypeEncoding(method) != kAwakeTypes) {
                Fail(Text("awakeFromNib of ", ClassOf(object), " takes '",
                          method_getTypeEncoding(method), "'"));
            }
        }
    }

    void Awake() const {
        SEL awake = sel_registerName("awakeFromNib");
        for (NSObject* object : ToAwake()) {
            if (!respondsToSelector(object, awake)) {
                continue;
            }
            try {
                objc_msgSend(object, awake);
            } catch (const std::exception& error) {
                Fail(Text("awakeFromNib of ", ClassOf(object), " failed: ", error.what()));
            }
        }
    }

    id m_owner;
    NibContents m_contents;
    std::unordered_map<std::string, NSObject*> m_byId; // the records hold the objects
};

} // namespace

Outcome<NibContents> loadNibFile(const std::string& path, id owner) {
    // Every decoder is in place before any file is read, whoever loads it first: a file read
    // without them would lose its controls' properties without a word.
    RegisterMenuNibDecoders();
    RegisterControlNibDecoders();
    NibReading reading(owner);
    std::string reason;
    try {
        Outcome<json> document =
            ParseBoundedJson(ReadFile(path), {kMaxFileSize, kMaxJsonNesting}, path);
        if (!document) {
            Fail(document.failure().why);
        }
        reading.Run(document.value());
        return std::move(reading.contents());
    } catch (const LoadFailure& failure) {
        reason = failure.what();
    } catch (const std::exception& error) {
        reason = error.what();
    }
    return Failure{path, reason};
}
