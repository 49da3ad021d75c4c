#include "host/HVXMenuController.h"

#include "appkit/NSApplication.h"
#include "appkit/NSWorkspace.h"
#include "appkit/NibLoader.h"
#include "appkit/NibOutletTable.h"
#include "companion/Companion.h"
#include "foundation/Log.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/RuntimeClass.h"
#include "host/HVXPlugIn.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "listwindow/ListWindowNames.h"
#include "prefs/HVXAboutWindowController.h"
#include "prefs/HVXPreferenceWindowController.h"
#include "runtime/MemberMethod.h"

Ref<HVXMenuController> HVXMenuController::_sharedMenuController;

namespace {

constexpr char kSetCanClickList[] = "setCanClickList:";

} // namespace

HVXMenuController::HVXMenuController() : NSObject(ClassObject()) {
}

Class HVXMenuController::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<HVXMenuController>("HVXMenuController", NSObject::RootClass());
        using C = HVXMenuController;
        // As a host would make one: through the runtime, which must still find the single one.
        DefineMethod<&C::sharedController>(object_getClass(made), "sharedController");
        DefineMethod<&C::init>(made, "init");
        DefineMethod<&C::awakeFromNib>(made, "awakeFromNib");
        DefineMethod<&C::showHVXSWFListWindow>(made, "showHVXSWFListWindow:");
        DefineMethod<&C::showPreferencesWindow>(made, "showPreferencesWindow:");
        DefineMethod<&C::showAboutWindow>(made, "showAboutWindow:");
        DefineMethod<&C::showUpdate>(made, "showUpdate:");
        DefineMethod<&C::setCanClickList>(made, kSetCanClickList);
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
    NSNotificationCenter::defaultCenter().addObserver(
        this, sel_registerName(kSetCanClickList), ListWindowNotifications::kOnClickList, nullptr);
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
        if (IsCurrentDissecta(Bundle())) {
            updateDissecta->setEnabled(false);
        }
    } else {
        updateDissecta->setTitle(LocalString("Menu : Download"));
    }
}

bool HVXMenuController::isInstallDissecta() const {
    return ::isInstallDissecta(Bundle());
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

namespace {

// The window's controller, made at the first command and kept for the process's life; null
// (logged, and tried again at the next command) when the bundle lacks its interface file.
template <typename Controller>
NSWindowController* KeptController(Ref<NSObject>& kept, const char* window) {
    if (!kept) {
        Ref<Controller> made = MakeRef<Controller>();
        if (made->init() == nullptr) {
            NSLog(std::string("HVXMenuController: no interface file for the ") + window +
                  " window");
            return nullptr;
        }
        kept = made;
    }
    return dynamic_cast<NSWindowController*>(kept.get());
}

} // namespace

void HVXMenuController::showPreferencesWindow(id sender) {
    if (NSWindowController* controller = KeptController<HVXPreferenceWindowController>(
            sharedPreferenceWindowController, "Preferences");
        controller != nullptr) {
        controller->showWindow(sender);
    }
}

void HVXMenuController::showAboutWindow(id sender) {
    if (NSWindowController* controller =
            KeptController<HVXAboutWindowController>(sharedAboutWindowController, "About");
        controller != nullptr) {
        controller->showWindow(sender);
    }
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

NSBundle* HVXMenuController::Bundle() const {
    return thisBundle != nullptr ? thisBundle : NSBundle::bundleForClass(ClassObject());
}

std::string HVXMenuController::LocalString(const std::string& key) const {
    return ::LocalString(Bundle(), key);
}
