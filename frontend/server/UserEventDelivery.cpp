#include "UserEventDelivery.h"

#include <algorithm>
#include <functional>
#include <map>

#include "appkit/NSAlert.h"
#include "appkit/NSApplication.h"
#include "appkit/NSComboBox.h"
#include "appkit/NSMatrix.h"
#include "appkit/NSOpenPanel.h"
#include "appkit/NSSplitView.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindow.h"
#include "foundation/JsonShape.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "webkit/WebView.h"

namespace {

using json = nlohmann::json;

bool IsIndex(const json& value) {
    return value.is_number_unsigned();
}
bool IsString(const json& value) {
    return value.is_string();
}
bool IsPageValue(const json& value) {
    return value.is_boolean() || value.is_string();
}

using Check = bool (*)(const json&);
struct Field {
    const char* name;
    Check valid;
};
using Delivery = std::function<std::optional<bool>(ModelObject&, const json&)>;

struct Kind {
    std::vector<Field> fields;
    // Delivers to the object; none when the object is not of the kind the event is for.
    Delivery deliver;
    // Why the object turned the event down, when that says more than the default.
    std::function<std::string(const json&)> refusal;
};

template <typename T> Delivery To(std::function<bool(T&, const json&)> deliver) {
    return [deliver](ModelObject& object, const json& event) -> std::optional<bool> {
        T* target = dynamic_cast<T*>(&object);
        if (target == nullptr) {
            return std::nullopt;
        }
        return deliver(*target, event);
    };
}

bool SelectInComboBox(NSComboBox& box, size_t row) {
    std::optional<std::string> text = box.itemObjectValueAtIndex(static_cast<int64_t>(row));
    return text && box.userEditedText(*text) && NSApp().performClick(box);
}

// The page's own script, through its view's window script object: the same rules decide as for
// any page.
WebScriptValue PageValue(const json& value) {
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    return value.get<std::string>();
}
std::string Text(const json& event, const char* field) {
    return event[field].get<std::string>();
}
std::function<std::string(const json&)> PageRefusal(const char* what, const char* field) {
    return [what, field](const json& event) {
        return std::string("the page may not ") + what + " " + Text(event, "object") + "." +
               Text(event, field);
    };
}

const std::map<std::string, Kind>& Kinds() {
    static const std::map<std::string, Kind> kinds{
        {"click",
         {{},
          [](ModelObject& object, const json&) -> std::optional<bool> {
              auto* sender = dynamic_cast<ActionSender*>(&object);
              if (sender == nullptr) {
                  return std::nullopt;
              }
              return NSApp().performClick(*sender);
          },
          nullptr}},
        {"edit",
         {{{"text", IsString}},
          To<NSTextField>([](NSTextField& field, const json& event) {
              return field.userEditedText(event["text"].get<std::string>());
          }),
          nullptr}},
        {"select",
         {{{"row", IsIndex}},
          [](ModelObject& object, const json& event) -> std::optional<bool> {
              const auto row = event["row"].get<size_t>();
              if (auto* box = dynamic_cast<NSComboBox*>(&object)) {
                  return SelectInComboBox(*box, row);
              }
              if (auto* matrix = dynamic_cast<NSMatrix*>(&object)) {
                  return matrix->clickCellAtRow(row);
              }
              return std::nullopt;
          },
          nullptr}},
        {"link",
         {{{"run", IsIndex}},
          To<NSTextField>([](NSTextField& field, const json& event) {
              return field.clickLink(event["run"].get<size_t>());
          }),
          nullptr}},
        {"drag",
         {{{"position", [](const json& value) { return value.is_number(); }}},
          To<NSSplitView>([](NSSplitView& split, const json& event) {
              // Far beyond any screen, and safe to narrow to float.
              constexpr double kFarthest = 1e9;
              split.dragDivider(static_cast<float>(
                  std::clamp(event["position"].get<double>(), -kFarthest, kFarthest)));
              return true;
          }),
          nullptr}},
        {"dividerClick",
         {{{"count", [](const json& value) { return value == 1 || value == 2; }}},
          To<NSSplitView>([](NSSplitView& split, const json& event) {
              split.clickDivider(event["count"].get<int>());
              return true;
          }),
          nullptr}},
        {"answer",
         {{{"button", IsIndex}},
          To<NSAlert>([](NSAlert& alert, const json& event) {
              return alert.clickButtonAtIndex(event["button"].get<size_t>());
          }),
          nullptr}},
        {"navigate",
         {{{"path", IsString}},
          To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
              return panel.navigateTo(event["path"].get<std::string>());
          }),
          nullptr}},
        {"choose",
         {{{"paths", IsArrayOfStrings}},
          To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
              return panel.choose(event["paths"].get<std::vector<std::string>>());
          }),
          nullptr}},
        {"cancel",
         {{},
          To<NSOpenPanel>([](NSOpenPanel& panel, const json&) { return panel.cancel(); }),
          nullptr}},
        {"close",
         {{},
          To<NSWindow>([](NSWindow& window, const json&) {
              window.performClose(nullptr);
              return true;
          }),
          nullptr}},
        {"call",
         {{{"object", IsString}, {"name", IsString}, {"args", IsArrayOfStrings}},
          To<WebView>([](WebView& view, const json& event) {
              return view.windowScriptObject()->CallNative(
                  Text(event, "object"), Text(event, "name"),
                  event["args"].get<std::vector<std::string>>());
          }),
          PageRefusal("call", "name")}},
        {"set",
         {{{"object", IsString}, {"key", IsString}, {"value", IsPageValue}},
          To<WebView>([](WebView& view, const json& event) {
              return view.windowScriptObject()->SetProperty(
                  Text(event, "object"), Text(event, "key"), PageValue(event["value"]));
          }),
          PageRefusal("set", "key")}},
        {"get",
         {{{"object", IsString}, {"key", IsString}},
          To<WebView>([](WebView& view, const json& event) {
              return view.windowScriptObject()
                  ->GetProperty(Text(event, "object"), Text(event, "key"))
                  .has_value();
          }),
          PageRefusal("read", "key")}},
        {"fault",
         {{{"text", IsString}},
          To<WebView>([](WebView& view, const json& event) {
              NSLog("Page " + view.mainFrameURL() + ": " + Text(event, "text"));
              return true;
          }),
          nullptr}},
    };
    return kinds;
}

} // namespace

std::optional<std::string> CheckUserEventShape(const json& event) {
    if (!event.is_object()) {
        return "an event is a JSON object";
    }
    auto oid = event.find("oid");
    if (oid == event.end() || !oid->is_number_unsigned()) {
        return "\"oid\" must be an object id";
    }
    auto kind = event.find("kind");
    if (kind == event.end() || !kind->is_string()) {
        return "\"kind\" must be a string";
    }
    auto known = Kinds().find(kind->get<std::string>());
    if (known == Kinds().end()) {
        return "unknown kind";
    }
    for (const Field& expected : known->second.fields) {
        auto field = event.find(expected.name);
        if (field == event.end() || !expected.valid(*field)) {
            return std::string("\"") + expected.name + "\" is missing or of the wrong type";
        }
    }
    return std::nullopt;
}

EventAnswer DeliverUserEvent(const json& event) {
    HVX_ASSERT_MAIN_THREAD();
    ModelObject* object = ModelObject::WithId(event["oid"].get<ModelObject::ObjectId>());
    if (object == nullptr) {
        return {404, "no such object"};
    }
    // Held while the event runs: an action may drop the last other reference to the object.
    Ref<NSObject> keep(object);
    const Kind& kind = Kinds().at(event["kind"].get<std::string>());
    std::optional<bool> delivered = kind.deliver(*object, event);
    if (!delivered) {
        return {400, "the object does not take that kind of event"};
    }
    if (!*delivered) {
        return {409, kind.refusal ? kind.refusal(event) : "the object refused the event"};
    }
    return {};
}
