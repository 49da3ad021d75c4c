#include "appkit/NSMenu.h"

#include "appkit/NSMenuItem.h"
#include "foundation/objects/RuntimeClass.h"

NSMenu::NSMenu(std::string title) : ModelObject(ClassObject()), m_title(std::move(title)) {
}

NSMenu::~NSMenu() {
    // Items held elsewhere outlive the menu; they must not point back at it.
    for (const Ref<NSMenuItem>& item : m_items) {
        item->m_menu = nullptr;
    }
}

// Registered at load, so that class lookups by name (interface files) find it before any
// code has touched it.
[[maybe_unused]] static const Class kRegistered = NSMenu::ClassObject();

Class NSMenu::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSMenu>("NSMenu", NSObject::RootClass());
    return cls;
}

void NSMenu::setTitle(std::string title) {
    if (title != m_title) {
        m_title = std::move(title);
        Changed();
    }
}

NSMenuItem* NSMenu::itemAtIndex(int index) const {
    if (index < 0 || index >= numberOfItems()) {
        return nullptr;
    }
    return m_items[static_cast<size_t>(index)].get();
}

bool NSMenu::insertItem(Ref<NSMenuItem> item, int index) {
    if (!item || index < 0 || index > numberOfItems() || item->m_menu != nullptr) {
        return false;
    }
    if (item->m_submenu && isSelfOrAbove(item->m_submenu.get())) {
        return false;
    }
    item->m_menu = this;
    m_items.insert(m_items.begin() + index, std::move(item));
    Changed();
    return true;
}

bool NSMenu::addItem(Ref<NSMenuItem> item) {
    return insertItem(std::move(item), numberOfItems());
}

bool NSMenu::removeItemAtIndex(int index) {
    if (index < 0 || index >= numberOfItems()) {
        return false;
    }
    auto position = m_items.begin() + index;
    // The item may be held nowhere else: it goes only after the observers have been told.
    Ref<NSMenuItem> removed = std::move(*position);
    m_items.erase(position);
    removed->m_menu = nullptr;
    Changed();
    return true;
}

int NSMenu::indexOfItemWithTitle(const std::string& title) const {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->title() == title) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int NSMenu::indexOfItem(const NSMenuItem* item) const {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == item) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

NSMenu* NSMenu::supermenu() const {
    return m_parentItem == nullptr ? nullptr : m_parentItem->menu();
}

bool NSMenu::isSelfOrAbove(const NSMenu* menu) const {
    for (const NSMenu* walk = this; walk != nullptr; walk = walk->supermenu()) {
        if (walk == menu) {
            return true;
        }
    }
    return false;
}

nlohmann::json NSMenu::DescribeState() const {
    nlohmann::json items = nlohmann::json::array();
    for (const Ref<NSMenuItem>& item : m_items) {
        items.push_back(item->Describe());
    }
    return {{"class", NSStringFromClass(isa())}, {"title", m_title}, {"items", std::move(items)}};
}

void NSMenu::Changed() {
    Ref<NSMenu> keepAlive(this);
    NotifyObservers();
    if (m_parentItem != nullptr) {
        m_parentItem->Changed();
    }
}
