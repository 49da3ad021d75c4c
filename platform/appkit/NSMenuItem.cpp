#include "appkit/NSMenuItem.h"

#include "appkit/NSMenu.h"
#include "foundation/objects/RuntimeClass.h"

NSMenuItem::NSMenuItem() : ModelObject(ClassObject()) {
}

NSMenuItem::~NSMenuItem() {
    if (m_submenu) {
        m_submenu->m_parentItem = nullptr;
    }
}

// Registered at load, so that class lookups by name (interface files) find it before any
// code has touched it.
[[maybe_unused]] static const Class kRegistered = NSMenuItem::ClassObject();

Class NSMenuItem::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSMenuItem>("NSMenuItem", NSObject::RootClass());
    return cls;
}

Ref<NSMenuItem> NSMenuItem::initWithTitle(std::string title, SEL action,
                                          std::string keyEquivalent) {
    Ref<NSMenuItem> item = MakeRef<NSMenuItem>();
    item->m_title = std::move(title);
    item->setAction(action);
    item->m_keyEquivalent = std::move(keyEquivalent);
    return item;
}

void NSMenuItem::setTitle(std::string title) {
    if (title != m_title) {
        m_title = std::move(title);
        Changed();
    }
}

void NSMenuItem::setKeyEquivalent(std::string keyEquivalent) {
    if (keyEquivalent != m_keyEquivalent) {
        m_keyEquivalent = std::move(keyEquivalent);
        Changed();
    }
}

bool NSMenuItem::setSubmenu(Ref<NSMenu> submenu) {
    if (submenu == m_submenu) {
        return true;
    }
    if (submenu) {
        if (submenu->m_parentItem != nullptr) {
            return false;
        }
        if (m_menu != nullptr && m_menu->isSelfOrAbove(submenu.get())) {
            return false;
        }
        submenu->m_parentItem = this;
    }
    if (m_submenu) {
        m_submenu->m_parentItem = nullptr;
    }
    m_submenu = std::move(submenu);
    Changed();
    return true;
}

nlohmann::json NSMenuItem::DescribeState() const {
    nlohmann::json description = {
        {"class", NSStringFromClass(isa())},
        {"title", m_title},
        {"keyEquivalent", m_keyEquivalent},
        {"submenu", nullptr},
    };
    DescribeAction(description);
    if (m_submenu) {
        description["submenu"] = m_submenu->Describe();
    }
    return description;
}

void NSMenuItem::Changed() {
    Ref<NSMenuItem> keepAlive(this);
    NotifyObservers();
    if (m_menu != nullptr) {
        m_menu->Changed();
    }
}
