#include "host/HVXMenuController.h"

#include "appkit/NSApplication.h"
#include "appkit/NSWorkspace.h"
#include "appkit/NibLoader.h"
#include "appkit/NibOutletTable.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/RuntimeClass.h"
#include "host/HVXPlugIn.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "runtime/MessageSend.h"

Ref<HVXMenuController> HVXMenuController::_sharedMenuController;

namespace {

constexpr const char* kStringTable = "LocalStrings";
// The version text sits at these characters of the companion's version string.
constexpr size_t kVersionAt = 8;
constexpr size_t kVersionLength = 3;

HVXMenuController* Self(id self) {
    return dynamic_cast<HVXMenuController*>(self);
}

// The runtime's face of the controller: what the interface file and notifications reach.
void AwakeFromNib(id self, SEL /*cmd*/) {
    Self(self)->awakeFromNib();
}
void ShowList(id self, SEL /*cmd*/, id sender) {
    Self(self)->showHVXSWFListWindow(sender);
}
void ShowPreferences(id self, SEL /*cmd*/, id sender) {
    Self(self)->showPreferencesWindow(sender);
}
void ShowAbout(id self, SEL /*cmd*/, id sender) {
    Self(self)->showAboutWindow(sender);
}
void ShowUpdate(id self, SEL /*cmd*/, id sender) {
    Self(self)->showUpdate(sender);
}
void CanClickList(id self, SEL /*cmd*/, id note) {
    Self(self)->setCanClickList(note);
}

} // namespace

HVXMenuController::HVXMenuController() : NSObject(ClassObject()) {
}

Class HVXMenuController::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<HVXMenuController>("HVXMenuController", NSObject::RootClass());
        class_defineMethod(made, "awakeFromNib", &AwakeFromNib);
        class_defineMethod(made, "showHVXSWFListWindow:", &ShowList);
        class_defineMethod(made, "showPreferencesWindow:", &ShowPreferences);
        class_defineMethod(made, "showAboutWindow:", &ShowAbout);
        class_defineMethod(made, "showUpdate:", &ShowUpdate);
        class_defineMethod(made, "setCanClickList:", &CanClickList);
        NibOutletTable::Declare(made, "menu", &HVXMenuController::menu);
        NibOutletTable::Declare(made, "updateDissecta", &HVXMenuController::updateDissecta);
        return made;
    }();
    return cls;
}

HVXMenuController* HVXMenuController::sharedController() {
    if (!_sharedMenuController) {
        Ref<HVXMenuController> fresh = MakeRef<HVXMenuController>();
        _sharedMenuController = fresh->init();
    }
    return _sharedMenuController.get();
}

HVXMenuController* HVXMenuController::init() {
    if (_sharedMenuController) {
        return _sharedMenuController.get();
    }
    NSBundle* bundle = NSBundle::bundleForClass(ClassObject());
    std::string path =
        bundle == nullptr ? std::string() : bundle->pathForResource("SafariHarvexMenu", "nib");
    if (path.empty() || !loadNibFile(path, this).ok()) {
        NSLog("SafariSWFHarvexMenu: Could not load menubar menu nib");
    }
    return this;
}

bool HVXMenuController::shouldLoadMainMenuItemIntoCurrentProcess() const {
    NSBundle* host = NSBundle::mainBundle();
    return host != nullptr && host->bundleIdentifier() == safariAppKey;
}

void HVXMenuController::awakeFromNib() {
    if (!shouldLoadMainMenuItemIntoCurrentProcess()) {
        return;
    }
    if (!menu) {
        NSLog("SafariSWFHarvexMenu: Could not load menubar menu");
        return;
    }
    canClickList = true;
    thisBundle = NSBundle::bundleForClass(ClassObject());
    NSNotificationCenter::defaultCenter().addObserver(this, sel_registerName("setCanClickList:"),
                                                      "OnClickList", nullptr);
    Ref<NSMenuItem> entry = NSMenuItem::initWithTitle(menu->title(), nullptr, "");
    entry->setSubmenu(menu);
    NSMenu* mainMenu = NSApp().mainMenu();
    if (mainMenu != nullptr) {
        mainMenu->insertItem(entry, std::max(mainMenu->numberOfItems() - 1, 0));
    }
    if (!updateDissecta) {
        return;
    }
    if (isInstallDissecta()) {
        updateDissecta->setTitle(LocalString("Menu : Update"));
        if (IsCurrentDissecta(LocalString("Menu : DissectaApp Path"))) {
            updateDissecta->setEnabled(false);
        }
    } else {
        updateDissecta->setTitle(LocalString("Menu : Download"));
    }
}

bool HVXMenuController::isInstallDissecta() const {
    return FileManager::defaultManager().fileExistsAtPath(LocalString("Menu : DissectaApp Path"));
}

bool HVXMenuController::IsCurrentDissecta(const std::string& appPath) const {
    Ref<NSBundle> app = NSBundle::bundleWithPath(appPath);
    std::string version = app ? app->objectForInfoDictionaryKey("CFBundleShortVersionString") : "";
    if (version.empty()) {
        return true; // no version to compare: taken as current
    }
    if (version.size() < kVersionAt + kVersionLength) {
        return false; // too short to carry the characters compared: offer the upgrade
    }
    return version.compare(kVersionAt, kVersionLength, LocalString("Menu : Version")) == 0;
}

void HVXMenuController::showHVXSWFListWindow(id sender) {
    // After a close (and at the first command) the window is built afresh, so that its page
    // shows the captured list as it is now; otherwise the open window only comes to the front.
    if (canClickList) {
        HVXSWFListWindowController::ReleaseSWFListWindowController();
        HVXSWFListWindowController::sharedSWFListWindowController()->showWindow(sender);
    }
    HVXSWFListWindowController::sharedSWFListWindowController()->showWindow(sender);
    canClickList = false;
}

void HVXMenuController::showPreferencesWindow(id /*sender*/) {
    // Connected when the preferences window exists.
}

void HVXMenuController::showAboutWindow(id /*sender*/) {
    // Connected when the About window exists.
}

void HVXMenuController::showUpdate(id /*sender*/) {
    const std::string page = isInstallDissecta() ? LocalString("Menu : Upgrade page")
                                                 : LocalString("Menu : lastversion page");
    if (Outcome<> opened = NSWorkspace::sharedWorkspace().openURL(page); !opened) {
        NSLog("HVXMenuController: not opened: " + opened.failure().message());
    }
}

void HVXMenuController::setCanClickList(id /*notification*/) {
    canClickList = true;
}

std::string HVXMenuController::LocalString(const std::string& key) const {
    NSBundle* bundle = thisBundle != nullptr ? thisBundle : NSBundle::bundleForClass(ClassObject());
    return bundle == nullptr ? key : bundle->localizedStringForKey(key, "", kStringTable);
}
