#pragma once

#include <cstdint>

#include "appkit/NSButton.h"
#include "appkit/NSMatrix.h"
#include "appkit/NSOpenPanel.h"
#include "appkit/NSTextField.h"
#include "appkit/NSWindowController.h"

// The Preferences window: the folder movies are saved to, whether the folder opens after a save,
// where the save dialog starts and what happens on a name clash. It keeps no setting of its
// own: every change goes straight to the preference store and is saved there; the two choices
// of the matrices are bound to user defaults by the interface file.
class HVXPreferenceWindowController : public NSWindowController {
public:
    HVXPreferenceWindowController();
    HVXPreferenceWindowController(const HVXPreferenceWindowController&) = delete;
    HVXPreferenceWindowController& operator=(const HVXPreferenceWindowController&) = delete;
    HVXPreferenceWindowController(HVXPreferenceWindowController&&) = delete;
    HVXPreferenceWindowController& operator=(HVXPreferenceWindowController&&) = delete;
    static Class ClassObject();

    // This controller, or null when the plug-in's bundle has no interface file for the window.
    HVXPreferenceWindowController* init();

    void awakeFromNib();
    // Shows the stored folder and the stored choice to open it after saving.
    void loadUsrDefault();
    // Enables the folder controls only when saving starts from the chosen folder, then stores
    // the folder.
    void CheckSaveMatrix();

    // Actions of the interface file.
    void OnBrowse(id sender);
    void OnCheckAutoOpen(id sender);
    void OnSelectSaveMatrix(id sender);

    // The folder chooser's end: only OK takes the chosen folder.
    void openPanelDidEnd(NSOpenPanel* panel, int64_t returnCode, int64_t contextInfo);
    // The window's and the folder field's delegate.
    bool windowShouldClose(id sender);
    void controlTextDidChange(id notification);

    // Controls, connected by the interface file.
    Ref<NSTextField> m_savePath;
    Ref<NSButton> m_browsePath;
    Ref<NSButton> m_autoOpen;
    Ref<NSMatrix> m_matrixSavePath;

protected:
    ~HVXPreferenceWindowController() override;

private:
    // The folder field's text becomes the stored folder, and the store is saved.
    void StoreSavePath();
};
