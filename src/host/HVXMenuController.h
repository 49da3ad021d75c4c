#pragma once

#include <string>

#include "appkit/NSMenu.h"
#include "appkit/NSMenuItem.h"
#include "foundation/defaults/NSBundle.h"
#include "runtime/NSObject.h"

// Puts the plug-in's menu into the host's menu bar, in front of its last menu, and answers the
// menu's commands. One per process, made by the bootstrap and kept until the process ends.
class HVXMenuController : public NSObject {
public:
    HVXMenuController();
    static Class ClassObject();

    static HVXMenuController* sharedController();
    // Answers the single instance when there is one (the new object is then dropped by its
    // caller); otherwise loads the menu's interface file with this object as its owner.
    HVXMenuController* init();
    void awakeFromNib();
    bool shouldLoadMainMenuItemIntoCurrentProcess() const;
    bool isInstallDissecta() const;

    void showHVXSWFListWindow(id sender);
    void showPreferencesWindow(id sender);
    void showAboutWindow(id sender);
    void showUpdate(id sender);
    void setCanClickList(id notification);

    Ref<NSMenu> menu;
    Ref<NSMenuItem> updateDissecta;
    NSBundle* thisBundle = nullptr; // the bundle holds itself alive for the process
    bool canClickList = false;
    Ref<NSObject> sharedAboutWindowController;
    Ref<NSObject> sharedPreferenceWindowController;

private:
    // The plug-in's own bundle, also before awakeFromNib has kept it.
    NSBundle* Bundle() const;
    std::string LocalString(const std::string& key) const;

    static Ref<HVXMenuController> _sharedMenuController;
};
