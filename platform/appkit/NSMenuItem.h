#pragma once

#include <string>

#include "appkit/ActionSender.h"
#include "appkit/ModelObject.h"

class NSMenu;

// One entry of a menu: a title, a key equivalent, an action sent to a target when chosen, and
// optionally a submenu (then the entry opens that menu instead).
class NSMenuItem : public ModelObject, public ActionSender {
public:
    NSMenuItem();
    static Class ClassObject();
    static Ref<NSMenuItem> initWithTitle(std::string title, SEL action, std::string keyEquivalent);

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(std::string keyEquivalent);

    NSObject* senderObject() override { return this; }

    NSMenu* submenu() const { return m_submenu.get(); }
    bool hasSubmenu() const { return static_cast<bool>(m_submenu); }
    // Refused (false, nothing changes) when the menu is already another item's submenu, or when
    // it is this item's own menu or one of that menu's supermenus: menus form a tree.
    bool setSubmenu(Ref<NSMenu> submenu);
    // The menu that holds this item, or null; not retained (the menu holds the item).
    NSMenu* menu() const { return m_menu; }

    nlohmann::json DescribeState() const override;

protected:
    ~NSMenuItem() override;

private:
    void ActionStateChanged() override { Changed(); }
    friend class NSMenu;
    // Tells this item's observers, then those of the menus above it.
    void Changed();

    std::string m_title;
    std::string m_keyEquivalent;
    Ref<NSMenu> m_submenu;
    NSMenu* m_menu = nullptr;
};
