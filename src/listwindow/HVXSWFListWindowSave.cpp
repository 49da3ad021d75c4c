#include <algorithm>
#include <optional>

#include "appkit/NSImage.h"
#include "appkit/NSWorkspace.h"
#include "capture/CaptureRecords.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/URL.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "listwindow/ListWindowNames.h"

// Saving the selected movie: the window turns presses and sheet answers into the save
// workflow's events and does what each step asks: show a sheet, reveal and record, or report.

namespace {

// The save workflow's sheets, as the window shows them.
struct SaveSheetText {
    std::vector<const char*> buttonKeys;
    const char* messageKey;
    const char* informativeKey; // null: no informative text
    const char* didEndSelector; // null: a notice, nothing to answer
};

SaveSheetText TextOf(SaveSheet sheet) {
    switch (sheet) {
    case SaveSheet::NotWritable:
        return {{"Alert : OK"},
                "Alert : Not Writable Message",
                "Alert : Not Writable Information",
                nullptr};
    case SaveSheet::NoSlash:
        return {
            {"Alert : OK"}, "Alert : No Slash Message", "Alert : No Slash Information", nullptr};
    case SaveSheet::Overwrite:
        return {{"Alert : OK", "Alert : Cancel"},
                "Alert : Overwrite",
                nullptr,
                ListWindowSelectors::kOverwriteDidEnd};
    case SaveSheet::CreateFolder:
        return {{"Alert : OK", "Alert : Cancel"},
                "Alert Create Drectory : Title",
                "Alert Create Drectory : Tips",
                ListWindowSelectors::kCreateFolderDidEnd};
    }
    return {{"Alert : OK"}, "", nullptr, nullptr};
}

template <typename... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
template <typename... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

} // namespace

void HVXSWFListWindowController::onSaveSWF(id /*sender*/) {
    if (SheetIsUp()) {
        return;
    }
    ReadSaveSettings();
    Advance(SaveWorkflow::Save{CurrentSaveRequest()});
}

void HVXSWFListWindowController::AlertDidEnd(NSAlert* /*alert*/, int64_t returnCode,
                                             int64_t /*contextInfo*/) {
    ReadAutoOpen();
    Advance(SaveWorkflow::OverwriteAnswered{CurrentSaveRequest(),
                                            returnCode == NSAlert::NSAlertFirstButtonReturn});
}

void HVXSWFListWindowController::alertDidEnd_returnCode_contextInfo(NSAlert* /*alert*/,
                                                                    int64_t returnCode,
                                                                    int64_t /*contextInfo*/) {
    ReadAutoOpen();
    Advance(SaveWorkflow::CreateFolderAnswered{CurrentSaveRequest(),
                                               returnCode == NSAlert::NSAlertFirstButtonReturn});
}

SaveRequest HVXSWFListWindowController::CurrentSaveRequest() const {
    return SaveRequest{m_downSWFPath, m_SWFName, combox ? combox->stringValue() : std::string(),
                       fileMatrixIndex};
}

void HVXSWFListWindowController::Advance(const SaveWorkflow::Event& event) {
    std::visit(Overloaded{
                   [this](const SaveWorkflow::ShowSheet& step) { ShowSaveSheet(step.sheet); },
                   [this](const SaveWorkflow::Finished& step) { FinishSave(step.revealedPath); },
                   [this](const SaveWorkflow::Failed& step) {
                       ShowFailure("Alert : Save Failed Message", step.failure);
                   },
                   [](const SaveWorkflow::Stopped& step) {
                       if (!step.why.empty()) {
                           NSLog("HVXSWFListWindowController: nothing saved: " + step.why);
                       }
                   },
               },
               m_saveWorkflow.Transition(event));
}

void HVXSWFListWindowController::ShowSaveSheet(SaveSheet sheet) {
    const SaveSheetText text = TextOf(sheet);
    // The notices answer nothing; the questions carry context 1 to their handlers.
    BeginSheet(text.buttonKeys, LocalString(text.messageKey),
               text.informativeKey == nullptr ? std::nullopt
                                              : std::optional(LocalString(text.informativeKey)),
               text.didEndSelector, text.didEndSelector == nullptr ? 0 : 1);
}

void HVXSWFListWindowController::ShowFailure(const char* messageKey, const Failure& failure) {
    NSLog("HVXSWFListWindowController: " + failure.message());
    BeginSheet({"Alert : OK"}, LocalString(messageKey), failure.message(), nullptr, 0);
}

bool HVXSWFListWindowController::SheetIsUp() {
    // A sheet is modal for its window: a second one would stack on it and answer into the same
    // fields, and a save begun under a question would abandon it.
    NSWindow* shown = isWindowLoaded() ? window() : nullptr;
    return shown != nullptr && shown->attachedSheet() != nullptr;
}

void HVXSWFListWindowController::BeginSheet(const std::vector<const char*>& buttonKeys,
                                            const std::string& message,
                                            const std::optional<std::string>& informative,
                                            const char* didEndSelector, int64_t contextInfo) {
    Ref<NSAlert> alert = MakeRef<NSAlert>();
    for (const char* key : buttonKeys) {
        alert->addButtonWithTitle(LocalString(key));
    }
    alert->setMessageText(message);
    if (informative) {
        alert->setInformativeText(*informative);
    }
    alert->setAlertStyle(NSAlert::NSWarningAlertStyle);
    // A missing icon resource: the sheet shows without one.
    if (Ref<NSImage> icon =
            NSImage::initWithContentsOfFile(Bundle()->pathForResource("DissectaLogo", "icns"))) {
        alert->setIcon(std::move(icon));
    }
    alert->beginSheetModalForWindow(
        window(), didEndSelector == nullptr ? nullptr : this,
        didEndSelector == nullptr ? nullptr : sel_registerName(didEndSelector), contextInfo);
}

void HVXSWFListWindowController::FinishSave(const std::string& revealedPath) {
    const std::string folder = combox ? combox->stringValue() : std::string();
    if (autoOpen) {
        // Revealing is a courtesy: the file is saved whether or not a viewer shows it.
        NSWorkspace& workspace = NSWorkspace::sharedWorkspace();
        if (std::optional<URL> url = URL::fileURLWithPath(folder); !url) {
            NSLog("HVXSWFListWindowController: cannot open " + folder + ": not an absolute path");
        } else if (Outcome<> opened = workspace.openURL(url->absoluteString()); !opened) {
            NSLog("HVXSWFListWindowController: " + opened.failure().message());
        }
        if (Outcome<> revealed = workspace.selectFile(revealedPath, ""); !revealed) {
            NSLog("HVXSWFListWindowController: " + revealed.failure().message());
        }
    }
    // Only the listed folders are compared: one further back in the history comes to the front
    // again.
    const std::vector<std::string> listed = combox ? combox->items() : std::vector<std::string>();
    if (std::find(listed.begin(), listed.end(), folder) == listed.end()) {
        m_lastSavePathArray.insert(m_lastSavePathArray.begin(), folder);
    }
    UpdataComboxAndPreference();
    saveUsrDefault();
}

void HVXSWFListWindowController::onBrowse(id /*sender*/) {
    if (SheetIsUp()) {
        return;
    }
    Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
    panel->setCanChooseDirectories(true);
    panel->beginSheetForDirectory(NSHomeDirectory(), "", {}, window(), this,
                                  sel_registerName(ListWindowSelectors::kOpenPanelDidEnd), 1);
}

void HVXSWFListWindowController::openPanelDidEnd(NSOpenPanel* panel, int64_t returnCode,
                                                 int64_t /*contextInfo*/) {
    // The folder enters the history at the next save, not here.
    if (returnCode == NSOpenPanel::NSOKButton && panel != nullptr && !panel->filenames().empty() &&
        combox) {
        combox->setStringValue(panel->filenames().front());
    }
}
