#pragma once

#include <string>
#include <vector>

#include "appkit/ModelObject.h"

class NSMenuItem;

// A menu: a title and an ordered list of items, which it retains. Indices count from 0.
// Changes to the menu or to any item below it reach the menu's observers.
class NSMenu : public ModelObject {
public:
    NSMenu() : NSMenu(std::string()) {}
    explicit NSMenu(std::string title);
    static Class ClassObject();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);

    int numberOfItems() const { return static_cast<int>(m_items.size()); }
    // Null when the index is out of range.
    NSMenuItem* itemAtIndex(int index) const;
    const std::vector<Ref<NSMenuItem>>& itemArray() const { return m_items; }
    // Refused (false, nothing changes) for a null item, an index outside 0...numberOfItems(), an
    // item that already sits in a menu, or an item whose submenu is this menu or one above it.
    bool insertItem(Ref<NSMenuItem> item, int index);
    bool addItem(Ref<NSMenuItem> item);
    bool removeItemAtIndex(int index);
    // -1 when absent; the first match counts.
    int indexOfItemWithTitle(const std::string& title) const;
    int indexOfItem(const NSMenuItem* item) const;

    // The menu whose item has this menu as its submenu, or null.
    NSMenu* supermenu() const;
    // True when `menu` is this menu or one of its supermenus.
    bool isSelfOrAbove(const NSMenu* menu) const;

    nlohmann::json DescribeState() const override;

protected:
    ~NSMenu() override;

private:
    friend class NSMenuItem;
    // Tells this menu's observers, then those of the menus above it.
    void Changed();

    std::string m_title;
    std::vector<Ref<NSMenuItem>> m_items;
    NSMenuItem* m_parentItem = nullptr; // the item this is the submenu of; it retains this menu
};
