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
#include "foundation/RunLoop.h"

namespace {

using json = nlohmann::json;

bool IsIndex(const json& value) {
    return value.is_number_unsigned();
}

struct Kind {
    // The extra field and its check; no field for kinds that carry none.
    const char* field;
    std::function<bool(const json&)> fieldIsValid;
    // Delivers to the object; none when the object is not of the kind the event is for.
    std::function<std::optional<bool>(ModelObject&, const json&)> deliver;
};

template <typename T>
std::function<std::optional<bool>(ModelObject&, const json&)>
To(std::function<bool(T&, const json&)> deliver) {
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

const std::map<std::string, Kind>& Kinds() {
    static const std::map<std::string, Kind> kinds{
        {"click",
         {nullptr, nullptr,
          [](ModelObject& object, const json&) -> std::optional<bool> {
              auto* sender = dynamic_cast<ActionSender*>(&object);
              if (sender == nullptr) {
                  return std::nullopt;
              }
              return NSApp().performClick(*sender);
          }}},
        {"edit",
         {"text", &json::is_string, To<NSTextField>([](NSTextField& field, const json& event) {
              return field.userEditedText(event["text"].get<std::string>());
          })}},
        {"select",
         {"row", IsIndex,
          [](ModelObject& object, const json& event) -> std::optional<bool> {
              const auto row = event["row"].get<size_t>();
              if (auto* box = dynamic_cast<NSComboBox*>(&object)) {
                  return SelectInComboBox(*box, row);
              }
              if (auto* matrix = dynamic_cast<NSMatrix*>(&object)) {
                  return matrix->clickCellAtRow(row);
              }
              return std::nullopt;
          }}},
        {"link", {"run", IsIndex, To<NSTextField>([](NSTextField& field, const json& event) {
                      return field.clickLink(event["run"].get<size_t>());
                  })}},
        {"drag",
         {"position", &json::is_number, To<NSSplitView>([](NSSplitView& split, const json& event) {
              // Far beyond any screen, and safe to narrow to float.
              constexpr double kFarthest = 1e9;
              split.dragDivider(static_cast<float>(
                  std::clamp(event["position"].get<double>(), -kFarthest, kFarthest)));
              return true;
          })}},
        {"dividerClick",
         {"count", [](const json& value) { return value == 1 || value == 2; },
          To<NSSplitView>([](NSSplitView& split, const json& event) {
              split.clickDivider(event["count"].get<int>());
              return true;
          })}},
        {"answer", {"button", IsIndex, To<NSAlert>([](NSAlert& alert, const json& event) {
                        return alert.clickButtonAtIndex(event["button"].get<size_t>());
                    })}},
        {"navigate",
         {"path", &json::is_string, To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
              return panel.navigateTo(event["path"].get<std::string>());
          })}},
        {"choose",
         {"paths", IsArrayOfStrings, To<NSOpenPanel>([](NSOpenPanel& panel, const json& event) {
              return panel.choose(event["paths"].get<std::vector<std::string>>());
          })}},
        {"cancel", {nullptr, nullptr, To<NSOpenPanel>([](NSOpenPanel& panel, const json&) {
                        return panel.cancel();
                    })}},
        {"close", {nullptr, nullptr, To<NSWindow>([](NSWindow& window, const json&) {
                       window.performClose(nullptr);
                       return true;
                   })}},
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
    if (known->second.field != nullptr) {
        auto field = event.find(known->second.field);
        if (field == event.end() || !known->second.fieldIsValid(*field)) {
            return std::string("\"") + known->second.field + "\" is missing or of the wrong type";
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
        return {409, "the object refused the event"};
    }
    return {};
}
