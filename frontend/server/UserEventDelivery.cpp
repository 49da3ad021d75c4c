#include "UserEventDelivery.h"

#include <algorithm>
#include <cmath>
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
// A page may pass numbers where the native side reads decimal text (an index, say).
bool IsPageArguments(const json& value) {
    return value.is_array() && std::all_of(value.begin(), value.end(), [](const json& item) {
               return item.is_string() || (item.is_number() && std::isfinite(item.get<double>()));
           });
}
std::vector<std::string> PageArguments(const json& args) {
    std::vector<std::string> texts;
    for (const json& item : args) {
        texts.push_back(item.is_string()            ? item.get<std::string>()
                        : item.is_number_integer()  ? std::to_string(item.get<int64_t>())
                        : item.is_number_unsigned() ? std::to_string(item.get<uint64_t>())
                                                    : item.dump());
    }
    return texts;
}

using Check = bool (*)(const json&);
struct Field {
    const char* name;
    Check valid;
};
using Delivery = std::function<std::optional<bool>(ModelObject&, const json&)>;

struct Kind {
    EventSource source;
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

// The window whose content holds the object (a window is its own); none for what lives in no
// window (menu items, sheets).
const NSWindow* WindowOf(ModelObject& object) {
    if (auto* window = dynamic_cast<NSWindow*>(&object)) {
        return window;
    }
    auto* view = dynamic_cast<NSView*>(&object);
    if (view == nullptr) {
        return nullptr;
    }
    while (view->superview() != nullptr) {
        view = view->superview();
    }
    const NSWindow* holder = nullptr;
    ModelObject::ForEach([&holder, view](ModelObject& each) {
        auto* window = dynamic_cast<NSWindow*>(&each);
        if (holder == nullptr && window != nullptr && window->contentView() == view) {
            holder = window;
        }
    });
    return holder;
}

// Each kind of event: who may send it, what it needs and how it is delivered. A table rather than a
// function: it is data, read by the shape check and by delivery.
const std::map<std::string, Kind> kKinds{
    {"click",
     {EventSource::User,
      {},
      [](ModelObject& object, const json&) -> std::optional<bool> {
          auto* sender = dynamic_cast<ActionSender*>(&object);
          if (sender == nullptr) {
              return std::nullopt;
          }
          return NSApp().performClick(*sender);
      },
      nullptr}},
    {"edit",
     {EventSource::User,
      {{"text", IsString}},
      To<NSTextField>([](NSTextField& field, const json& event) {
          return field.userEditedText(event["text"].get<std::string>());
      }),
      nullptr}},
    {"select",
     {EventSource::User,
      {{"row", IsIndex}},
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
     {EventSource::User,
      {{"run", IsIndex}},
      To<NSTextField>([](NSTextField& field, const json& event) {
          return field.clickLink(event["run"].get<size_t>());
      }),
      nullptr}},
    {"drag",
     {EventSource::User,
      {{"position", [](const json& value) { return value.is_number(); }}},
      To<NSSplitView>([](NSSplitView& split, const json& event) {
          // Far beyond any screen, and safe to narrow to float.
          constexpr double kFarthest = 1e9;
          split.dragDivider(static_cast<float>(
              std::clamp(event["position"].get<double>(), -kFarthest, kFarthest)));
          return true;
      }),
      nullptr}},
    {"dividerClick",
     {EventSource::User,
      {{"count",
        [](const json& value) {
            return value.is_number() && (value.get<double>() == 1 || value.get<double>() == 2);
        }}},
      To<NSSplitView>([](NSSplitView& split, const json& event) {
          split.clickDivider(event["count"].get<int>());
          return true;
      }),
      nullptr}},
    {"answer",
     {EventSource::User,
      {{"button", IsIndex}},
      To<NSAlert>([](NSAlert& alert, const json& event) {
          return alert.clickButtonAtIndex(event["button"].get<size_t>());
      }),
      nullptr}},
    {"navigate",
     {EventSource::User,
      {{"path", IsString}},
      To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
          return panel.navigateTo(event["path"].get<std::string>());
      }),
      nullptr}},
    {"choose",
     {EventSource::User,
      {{"paths", IsArrayOfStrings}},
      To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
          return panel.choose(event["paths"].get<std::vector<std::string>>());
      }),
      nullptr}},
    {"cancel",
     {EventSource::User,
      {},
      To<NSOpenPanel>([](NSOpenPanel& panel, const json&) { return panel.cancel(); }),
      nullptr}},
    {"close",
     {EventSource::User,
      {},
      To<NSWindow>([](NSWindow& window, const json&) {
          window.performClose(nullptr);
          return true;
      }),
      nullptr}},
    {"call",
     {EventSource::Page,
      {{"object", IsString}, {"name", IsString}, {"args", IsPageArguments}},
      To<WebView>([](WebView& view, const json& event) {
          return view.windowScriptObject()->CallNative(Text(event, "object"), Text(event, "name"),
                                                       PageArguments(event["args"]));
      }),
      PageRefusal("call", "name")}},
    {"set",
     {EventSource::Page,
      {{"object", IsString}, {"key", IsString}, {"value", IsPageValue}},
      To<WebView>([](WebView& view, const json& event) {
          return view.windowScriptObject()->SetProperty(Text(event, "object"), Text(event, "key"),
                                                        PageValue(event["value"]));
      }),
      PageRefusal("set", "key")}},
    {"get",
     {EventSource::Page,
      {{"object", IsString}, {"key", IsString}},
      To<WebView>([](WebView& view, const json& event) {
          return view.windowScriptObject()
              ->GetProperty(Text(event, "object"), Text(event, "key"))
              .has_value();
      }),
      PageRefusal("read", "key")}},
    {"fault",
     {EventSource::Page,
      {{"text", IsString}},
      To<WebView>([](WebView& view, const json& event) {
          NSLog("Page " + view.mainFrameURL() + ": " + Text(event, "text"));
          return true;
      }),
      nullptr}},
};

} // namespace

std::optional<EventAnswer> CheckEventShape(const json& event, EventSource source) {
    if (!event.is_object()) {
        return EventAnswer{400, "an event is a JSON object"};
    }
    auto oid = event.find("oid");
    if (oid == event.end() || !oid->is_number_unsigned()) {
        return EventAnswer{400, "\"oid\" must be an object id"};
    }
    auto kind = event.find("kind");
    if (kind == event.end() || !kind->is_string()) {
        return EventAnswer{400, "\"kind\" must be a string"};
    }
    auto known = kKinds.find(kind->get<std::string>());
    if (known == kKinds.end()) {
        return EventAnswer{400, "unknown kind"};
    }
    if (known->second.source != source) {
        return source == EventSource::Page
                   ? EventAnswer{403, "a page may only use its bridge, not " + known->first}
                   : EventAnswer{400, known->first + " comes from a page, through /page"};
    }
    for (const Field& expected : known->second.fields) {
        auto field = event.find(expected.name);
        if (field == event.end() || !expected.valid(*field)) {
            return EventAnswer{400, std::string("\"") + expected.name +
                                        "\" is missing or of the wrong type"};
        }
    }
    return std::nullopt;
}

EventAnswer DeliverEvent(const json& event, EventSource source) {
    HVX_ASSERT_MAIN_THREAD();
    ModelObject* object = ModelObject::WithId(event["oid"].get<ModelObject::ObjectId>());
    if (object == nullptr) {
        return {404, "no such object"};
    }
    // Held while the event runs: an action may drop the last other reference to the object.
    Ref<NSObject> keep(object);
    const Kind& kind = kKinds.at(event["kind"].get<std::string>());
    if (source == EventSource::Page && dynamic_cast<WebView*>(object) == nullptr) {
        return {403, "a page may only use its own bridge"};
    }
    // A sheet is modal for its window whoever sends the event: only the sheet itself answers.
    if (const NSWindow* window = WindowOf(*object); window != nullptr &&
                                                    window->attachedSheet() != nullptr &&
                                                    window->attachedSheet() != object) {
        return {409, "a sheet is up on its window"};
    }
    std::optional<bool> delivered = kind.deliver(*object, event);
    if (!delivered) {
        return {400, "the object does not take that kind of event"};
    }
    if (!*delivered) {
        return {source == EventSource::Page ? 403 : 409,
                kind.refusal ? kind.refusal(event) : "the object refused the event"};
    }
    return {};
}
