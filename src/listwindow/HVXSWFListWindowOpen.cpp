#include <optional>

#include "appkit/NSWorkspace.h"
#include "capture/CaptureRecords.h"
#include "companion/Companion.h"
#include "foundation/Log.h"
#include "foundation/URL.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "listwindow/ListWindowNames.h"

// Handing the selected movie to the companion application: the caught copy is opened with it,
// or, when the companion is missing, a sheet offers the two pages where to get it.

void HVXSWFListWindowController::onOpenSWFApp(id /*sender*/) {
    if (SheetIsUp()) {
        return;
    }
    if (!isInstallDissecta()) {
        BeginSheet({"Alert : Title_Right", "Alert : Title_Left"}, LocalString("Alert : Message"),
                   std::nullopt, ListWindowSelectors::kCompanionMissingDidEnd, 1);
        return;
    }
    if (m_SWFName.empty()) {
        return;
    }
    // The workspace refuses a caught movie that is gone and a companion that cannot start; the
    // user learns of both instead of a button that seems to do nothing.
    const std::string path = m_downSWFPath + "/" + m_SWFName;
    if (Outcome<> opened =
            NSWorkspace::sharedWorkspace().openFile(path, DissectaAppPath(Bundle()), true);
        !opened) {
        ShowFailure("Alert : Open Failed Message", opened.failure());
    }
}

void HVXSWFListWindowController::alertDidEnd_ReturnCode_contextInfo(NSAlert* /*alert*/,
                                                                    int64_t returnCode,
                                                                    int64_t /*contextInfo*/) {
    const std::string text =
        LocalString(returnCode == NSAlert::NSAlertFirstButtonReturn ? "Main : SeeMore btn"
                                                                    : "Main : lastversion btn");
    const std::optional<URL> url = URL::URLWithString(text);
    if (!url) {
        NSLog("HVXSWFListWindowController: cannot open \"" + text + "\": not a web address");
        return;
    }
    if (Outcome<> opened = NSWorkspace::sharedWorkspace().openURL(url->absoluteString()); !opened) {
        NSLog("HVXSWFListWindowController: " + opened.failure().message());
    }
}
