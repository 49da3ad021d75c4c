#include "appkit/NibMenuDecoders.h"

#include <string>

#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "appkit/NibDecoderTable.h"
#include "runtime/Selector.h"

namespace {

using nlohmann::json;

// Reads an optional property of one JSON type; answers the reason when it has another.
template <typename T>
std::string Read(const json& properties, const char* key, json::value_t type, T& value) {
    auto found = properties.find(key);
    if (found == properties.end()) {
        return {};
    }
    if (found->type() != type) {
        std::string reason = "property '";
        return reason.append(key).append("' has the wrong type");
    }
    value = found->get<T>();
    return {};
}

std::string DecodeMenu(NSObject& object, const json& properties, const NibResolver& resolve) {
    auto* menu = dynamic_cast<NSMenu*>(&object);
    if (menu == nullptr) {
        return "not a menu object";
    }
    std::string title = menu->title();
    if (std::string reason = Read(properties, "title", json::value_t::string, title);
        !reason.empty()) {
        return reason;
    }
    menu->setTitle(title);
    auto items = properties.find("items");
    if (items == properties.end()) {
        return {};
    }
    if (!items->is_array()) {
        return "property 'items' is not an array";
    }
    for (const json& reference : *items) {
        auto* item = dynamic_cast<NSMenuItem*>(resolve(reference));
        if (item == nullptr) {
            return "an entry of 'items' is not a menu item";
        }
        if (!menu->addItem(Ref<NSMenuItem>(item))) {
            return "a menu item is in two menus, or in a menu below its own submenu";
        }
    }
    return {};
}

std::string DecodeMenuItem(NSObject& object, const json& properties, const NibResolver& resolve) {
    auto* item = dynamic_cast<NSMenuItem*>(&object);
    if (item == nullptr) {
        return "not a menu item object";
    }
    std::string title = item->title();
    std::string keyEquivalent = item->keyEquivalent();
    bool enabled = item->isEnabled();
    std::string action;
    for (std::string reason :
         {Read(properties, "title", json::value_t::string, title),
          Read(properties, "keyEquivalent", json::value_t::string, keyEquivalent),
          Read(properties, "enabled", json::value_t::boolean, enabled),
          Read(properties, "action", json::value_t::string, action)}) {
        if (!reason.empty()) {
            return reason;
        }
    }
    item->setTitle(title);
    item->setKeyEquivalent(keyEquivalent);
    item->setEnabled(enabled);
    if (!action.empty()) {
        item->setAction(sel_registerName(action));
    }
    auto submenu = properties.find("submenu");
    if (submenu != properties.end() && !submenu->is_null()) {
        auto* menu = dynamic_cast<NSMenu*>(resolve(*submenu));
        if (menu == nullptr) {
            return "property 'submenu' is not a menu";
        }
        if (!item->setSubmenu(Ref<NSMenu>(menu))) {
            return "property 'submenu' names a menu that is already a submenu, or one above";
        }
    }
    return {};
}

} // namespace

void RegisterMenuNibDecoders() {
    static const bool registered = [] {
        NibDecoderTable::Register(NSMenu::ClassObject(), &DecodeMenu);
        NibDecoderTable::Register(NSMenuItem::ClassObject(), &DecodeMenuItem);
        return true;
    }();
    (void)registered;
}
