// The list window's browser page: loading the two pages, the readiness poll, and sending the
// captured-SWF list to the page.
#include "capture/CaptureRecords.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "listwindow/ListWindowNames.h"
#include "listwindow/URLEscaping.h"

namespace {

constexpr double kReadinessPollSeconds = 0.2;

} // namespace

void HVXSWFListWindowController::LoadPage(HVXBridgedWebView* view, const std::string& path) {
    if (view == nullptr || path.empty()) {
        return;
    }
    std::string spacesEscaped = path;
    view->loadURL(EscapePagePath(spacesEscaped));
}

void HVXSWFListWindowController::showHtml(const std::string& path) {
    LoadPage(swfWebview.get(), path);
}

void HVXSWFListWindowController::showAdHtml(const std::string& path) {
    LoadPage(adWebview.get(), path);
}

void HVXSWFListWindowController::StopTimer() {
    if (timer) {
        timer->invalidate();
        timer = nullptr;
    }
}

void HVXSWFListWindowController::raiseTimer() {
    StopTimer();
    timer = NSTimer::scheduledTimerWithTimeInterval(
        kReadinessPollSeconds, this, sel_registerName(ListWindowSelectors::kSWFIsReady), nullptr,
        true);
}

void HVXSWFListWindowController::SWFIsReady(id /*timer*/) {
    if (swfWebview && swfWebview->IsSWFReady()) {
        swfShow();
    }
}

void HVXSWFListWindowController::swfShow() {
    if (m_arraySWFUrl.empty()) {
        // Without a movie there is nothing to save; the open button offers the companion when
        // it is missing.
        if (btnOpenSWF) {
            btnOpenSWF->setEnabled(!isInstallDissecta());
        }
        if (btnSaveSWF) {
            btnSaveSWF->setEnabled(false);
        }
        return;
    }
    if (btnSaveSWF) {
        btnSaveSWF->setEnabled(true);
    }
    if (btnOpenSWF) {
        btnOpenSWF->setEnabled(true);
    }
    if (swfWebview) {
        swfWebview->ExcuteCommand("infoCurrentSWF", {CapturedSWFPath(m_SWFName)});
    }
    std::vector<std::string> paths;
    paths.reserve(m_arraySWFUrl.size());
    for (const CapturedSWF& entry : m_arraySWFUrl) {
        std::string path = CapturedSWFPath(entry.SWFName);
        paths.push_back(convertString(path));
    }
    if (swfWebview) {
        swfWebview->ExcuteCommand("Reload", paths);
    }
    StopTimer();
}

void HVXSWFListWindowController::onReload(id /*sender*/) {
    swfShow();
}

std::string HVXSWFListWindowController::convertString(std::string& path) const {
    return ::convertString(path);
}
