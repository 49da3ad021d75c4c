#pragma once

#include <optional>
#include <string>
#include <vector>

#include "appkit/NSWindow.h"
#include "foundation/Outcome.h"
#include "runtime/NSObject.h"

// Owns a window that comes from an interface file, loaded lazily: on the first window() or
// showWindow(), and only once (a failed load is logged, kept in loadError() and not retried).
//
// The file's owner is the controller itself unless another owner is given; that owner is not
// retained (it usually is the controller, or owns it). The window is the owner's "window"
// outlet when the owner is this controller and the file connects it, otherwise the file's
// first top-level window. The file's top-level objects stay alive as long as the controller.
class NSWindowController : public NSObject {
public:
    NSWindowController();
    static Class ClassObject();
    // `owner` null means the controller itself.
    static Ref<NSWindowController> initWithWindowNibPath(std::string nibPath, id owner);
    // A controller of a window made in code (no interface file).
    static Ref<NSWindowController> initWithWindow(Ref<NSWindow> window);

    const std::string& windowNibPath() const { return m_nibPath; }
    id owner() { return m_owner != nullptr ? m_owner : this; }

    // Loads the interface file the first time; null when there is no window.
    NSWindow* window();
    bool isWindowLoaded() const { return m_loadAttempted; }
    const std::optional<Failure>& loadError() const { return m_loadError; }
    // Loads the window when needed, then shows it in front and makes it key.
    void showWindow(id sender);

protected:
    // For subclasses: the class they run as, the interface file and its owner (null: this).
    NSWindowController(Class isa, std::string nibPath, id owner);
    explicit NSWindowController(Class isa) : NSWindowController(isa, std::string(), nullptr) {}
    ~NSWindowController() override = default;

    // Called once the interface file has loaded, outlets connected and frames applied.
    virtual void windowDidLoad() {}

private:
    void LoadWindow();

    std::string m_nibPath;
    id m_owner = nullptr;
    bool m_loadAttempted = false;
    std::optional<Failure> m_loadError;
    Ref<NSWindow> m_window;
    std::vector<Ref<NSObject>> m_topLevelObjects;
};
