#include "appkit/NibMenuDecoders.h"

#include <string>

#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "appkit/NibDecoderTable.h"
#include "appkit/NibProperties.h"
#include "runtime/Selector.h"

namespace {

using nlohmann::json;

std::string DecodeMenu(NSObject& object, const json& properties, const NibResolver& resolve) {
    auto* menu = dynamic_cast<NSMenu*>(&object);
    if (menu == nullptr) {
        return "not a menu object";
    }
    std::string title = menu->title();
    if (std::string reason = ReadNibProperty(properties, "title", json::value_t::string, title);
        !reason.empty()) {
        return reason;
    }
    menu->setTitle(title);
    return ReadNibReferences<NSMenuItem>(
        properties, "items", resolve, "a menu item", [menu](NSMenuItem& item) {
            return menu->addItem(Ref<NSMenuItem>(&item))
                       ? std::string()
                       : std::string("a menu item is in two menus, or in a menu below its own "
                                     "submenu");
        });
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
    if (std::string reason = FirstNibReason(
            {ReadNibProperty(properties, "title", json::value_t::string, title),
             ReadNibProperty(properties, "keyEquivalent", json::value_t::string, keyEquivalent),
             ReadNibProperty(properties, "enabled", json::value_t::boolean, enabled),
             ReadNibProperty(properties, "action", json::value_t::string, action)});
        !reason.empty()) {
        return reason;
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
