#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "appkit/NSAlert.h"
#include "appkit/NSButton.h"
#include "appkit/NSColor.h"
#include "appkit/NSComboBox.h"
#include "appkit/NSOpenPanel.h"
#include "appkit/NSSplitView.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindowController.h"
#include "foundation/defaults/NSBundle.h"
#include "foundation/objects/NSTimer.h"
#include "listwindow/AdWebView.h"
#include "listwindow/SaveWorkflow.h"
#include "listwindow/SwfWebView.h"

// The captured-SWF window: the browser page that lists and plays the caught movies, the panel
// that describes the selected one, the save and hand-off controls, and the split view between
// the two panes. One at a time: the menu command builds a new one after every close.
//
// The set-up and settings live in HVXSWFListWindowController.cpp, the page and its readiness
// poll in HVXSWFListWindowPage.cpp, the information panel in HVXSWFListWindowInfo.cpp and the
// split view's delegate in HVXSWFListWindowSplit.cpp, saving in HVXSWFListWindowSave.cpp and
// the hand-off to the companion in HVXSWFListWindowOpen.cpp.
class HVXSWFListWindowController : public NSWindowController {
public:
    // The rest of the window's content below the top pane, in points.
    static constexpr float kRestOfContentHeight = 510.0F;
    static constexpr float kTopPaneHeight = 70.0F;

    HVXSWFListWindowController();
    HVXSWFListWindowController(const HVXSWFListWindowController&) = delete;
    HVXSWFListWindowController& operator=(const HVXSWFListWindowController&) = delete;
    HVXSWFListWindowController(HVXSWFListWindowController&&) = delete;
    HVXSWFListWindowController& operator=(HVXSWFListWindowController&&) = delete;
    static Class ClassObject();

    static HVXSWFListWindowController* sharedSWFListWindowController();
    // Drops the shared controller; it hears no more selections or ticks, also while something
    // else still holds it.
    static void ReleaseSWFListWindowController();

    // Interface file and settings.
    void awakeFromNib();
    void loadUsrDefault();
    void saveUsrDefault();
    void UpdataComboxAndPreference();
    bool isInstallDissecta() const;
    bool windowShouldClose(id sender);

    // The browser page.
    void showHtml(const std::string& path);
    void showAdHtml(const std::string& path);
    void raiseTimer();
    void SWFIsReady(id timer);
    void swfShow();
    void onReload(id sender);
    std::string convertString(std::string& path) const;

    // The information panel.
    void setSWFInfo(id notification);

    // Saving the selected movie: the Save and Browse buttons and the end handlers of their
    // sheets, whose names differ only in capitals.
    void onSaveSWF(id sender);
    void onBrowse(id sender);
    void openPanelDidEnd(NSOpenPanel* panel, int64_t returnCode, int64_t contextInfo);
    void AlertDidEnd(NSAlert* alert, int64_t returnCode, int64_t contextInfo);
    void alertDidEnd_returnCode_contextInfo(NSAlert* alert, int64_t returnCode,
                                            int64_t contextInfo);

    // Handing the selected movie to the companion, or saying where to get it.
    void onOpenSWFApp(id sender);
    void alertDidEnd_ReturnCode_contextInfo(NSAlert* alert, int64_t returnCode,
                                            int64_t contextInfo);

    // The split view's delegate and its two resizing operations.
    bool splitViewShouldHideDividerAtIndex(NSSplitView* splitView, int64_t dividerIndex) const;
    bool splitViewCanCollapseSubview(NSSplitView* splitView, NSView* subview);
    float splitViewConstrainMinCoordinate(NSSplitView* splitView, float proposed,
                                          int64_t dividerIndex) const;
    float splitViewConstrainMaxCoordinate(NSSplitView* splitView, float proposed,
                                          int64_t dividerIndex) const;
    float splitViewConstrainSplitPosition(NSSplitView* splitView, float proposed,
                                          int64_t dividerIndex) const;
    void collapseSplitView(NSSplitView* splitView);
    void uncollapseSplitView(NSSplitView* splitView);
    NSRect frameForView(NSView* view);

    // Controls, connected by the interface file.
    Ref<NSButton> btnOpenSWF;
    Ref<NSButton> btnSaveSWF;
    Ref<NSButton> btnReload;
    Ref<NSComboBox> combox;
    Ref<NSTextField> tx_filename;
    Ref<NSTextField> tx_moviesize;
    Ref<NSTextField> tx_fileversion;
    Ref<NSTextField> tx_framesize;
    Ref<NSTextField> tx_framerate;
    Ref<NSTextField> tx_framecount;
    Ref<NSTextField> filename;
    Ref<NSTextField> moviesize;
    Ref<NSTextField> fileversion;
    Ref<NSTextField> framesize;
    Ref<NSTextField> framerate;
    Ref<NSTextField> framecount;
    Ref<NSSplitView> splitView;
    Ref<SwfWebView> swfWebview;
    Ref<AdWebView> adWebview;

    // State.
    Ref<NSColor> infoColor;
    int32_t saveMatrixIndex = 0;
    int32_t fileMatrixIndex = 0;
    bool autoOpen = false;
    std::string saveComboxPath;
    std::string savePrefePath;
    std::vector<std::string> m_lastSavePathArray;
    float lastTopViewHeight = 0;
    float lastEndViewHeight = 0;
    bool canCollase = false;
    Ref<NSTimer> timer;
    std::string m_SWFName;
    NSBundle* thisBundle = nullptr; // bundles live as long as the process

protected:
    ~HVXSWFListWindowController() override;

private:
    // The plug-in's own bundle, also before awakeFromNib has kept it.
    NSBundle* Bundle() const;
    std::string LocalString(const std::string& key) const;
    void WriteTrustFiles() const;
    // The path of one of the window's pages in the bundle; "" (logged) when it is missing.
    std::string PagePath(const std::string& page) const;
    // Loads a page file into a view, escaped as the page loader wants it.
    static void LoadPage(HVXBridgedWebView* view, const std::string& path);
    void StopTimer();
    void StopListening();

    // Settings the save reads afresh each time, as the preferences window may have changed them.
    void ReadSaveSettings();
    void ReadAutoOpen();
    SaveRequest CurrentSaveRequest() const;
    void Advance(const SaveWorkflow::Event& event);
    bool SheetIsUp();
    void ShowSaveSheet(SaveSheet sheet);
    void FinishSave(const std::string& revealedPath);
    void ShowFailure(const char* messageKey, const Failure& failure);
    // A warning alert with the bundle's icon, buttons titled by these string-table keys, shown
    // on the window. A null selector: a notice that answers nothing.
    void BeginSheet(const std::vector<const char*>& buttonKeys, const std::string& message,
                    const std::optional<std::string>& informative, const char* didEndSelector,
                    int64_t contextInfo);

    SaveWorkflow m_saveWorkflow;

    static Ref<HVXSWFListWindowController> _sharedSWFListWindowController;
};
