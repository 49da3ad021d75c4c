#include "appkit/NSWindowController.h"

#include "appkit/NibControlDecoders.h"
#include "appkit/NibLoader.h"
#include "appkit/NibOutletTable.h"
#include "foundation/Log.h"
#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSWindowController::ClassObject();

NSWindowController::NSWindowController() : NSWindowController(ClassObject()) {
}

NSWindowController::NSWindowController(Class isa, std::string nibPath, id owner)
    : NSObject(isa), m_nibPath(std::move(nibPath)), m_owner(owner) {
}

Class NSWindowController::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterRuntimeClass<NSWindowController>("NSWindowController", NSObject::RootClass());
        NibOutletTable::Declare(made, "window", &NSWindowController::m_window);
        return made;
    }();
    return cls;
}

Ref<NSWindowController> NSWindowController::initWithWindowNibPath(std::string nibPath, id owner) {
    Ref<NSWindowController> controller = MakeRef<NSWindowController>();
    controller->m_nibPath = std::move(nibPath);
    controller->m_owner = owner;
    return controller;
}

Ref<NSWindowController> NSWindowController::initWithWindow(Ref<NSWindow> window) {
    Ref<NSWindowController> controller = MakeRef<NSWindowController>();
    controller->m_window = std::move(window);
    controller->m_loadAttempted = true;
    return controller;
}

NSWindow* NSWindowController::window() {
    if (!m_loadAttempted) {
        LoadWindow();
    }
    return m_window.get();
}

void NSWindowController::showWindow(id /*sender*/) {
    if (NSWindow* shown = window(); shown != nullptr) {
        shown->makeKeyAndOrderFront(this);
    }
}

void NSWindowController::LoadWindow() {
    m_loadAttempted = true;
    // windowDidLoad may release the controller's last outside reference.
    Ref<NSWindowController> keepAlive(this);
    Outcome<NibContents> loaded = loadNibFile(m_nibPath, owner());
    if (!loaded) {
        m_loadError = loaded.failure();
        NSLog(std::string("NSWindowController: ").append(loaded.failure().message()));
        return;
    }
    NibContents& result = loaded.value();
    ApplyNibFrames(result);
    if (!m_window) {
        for (const Ref<NSObject>& object : result.topLevelObjects) {
            if (auto* found = dynamic_cast<NSWindow*>(object.get()); found != nullptr) {
                m_window = Ref<NSWindow>(found);
                break;
            }
        }
    }
    m_topLevelObjects = std::move(result.topLevelObjects);
    windowDidLoad();
}
