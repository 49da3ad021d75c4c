#include "prefs/HVXPreferenceWindowController.h"

#include "appkit/NibOutletTable.h"
#include "foundation/FileManager.h"
#include "foundation/PathString.h"
#include "foundation/defaults/NSBundle.h"
#include "foundation/objects/RuntimeClass.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"
#include "runtime/MemberMethod.h"

namespace {

constexpr const char* kInterfaceFile = "SafariHarvexPreferences";
constexpr char kOpenPanelDidEnd[] = "openPanelDidEnd:returnCode:contextInfo:";
// The one sheet this window begins; the end handler is told which it was.
constexpr int64_t kBrowseContext = 1;
// The save-path option whose dialog starts from the last folder used: the folder controls
// have nothing to say then.
constexpr int64_t kLastFolderTag = 1;

std::string InterfaceFilePath() {
    NSBundle* bundle = NSBundle::bundleForClass(HVXPreferenceWindowController::ClassObject());
    return bundle == nullptr ? std::string() : bundle->pathForResource(kInterfaceFile, "nib");
}

PreferenceData& Store() {
    return *PreferenceData::sharedPreferenceData();
}

} // namespace

HVXPreferenceWindowController::HVXPreferenceWindowController()
    : NSWindowController(ClassObject(), InterfaceFilePath(), nullptr) {
}

HVXPreferenceWindowController::~HVXPreferenceWindowController() {
    // Neither the window nor the field may reach a controller that is gone.
    if (m_savePath && m_savePath->delegate() == this) {
        m_savePath->setDelegate(nullptr);
    }
    if (NSWindow* shown = isWindowLoaded() ? window() : nullptr;
        shown != nullptr && shown->delegate() == this) {
        shown->setDelegate(nullptr);
    }
}

Class HVXPreferenceWindowController::ClassObject() {
    static Class cls = [] {
        using C = HVXPreferenceWindowController;
        Class made = RegisterRuntimeClass<C>("HVXPreferenceWindowController",
                                             NSWindowController::ClassObject());
        DefineMethod<&C::awakeFromNib>(made, "awakeFromNib");
        DefineMethod<&C::OnBrowse>(made, "OnBrowse:");
        DefineMethod<&C::OnCheckAutoOpen>(made, "OnCheckAutoOpen:");
        DefineMethod<&C::OnSelectSaveMatrix>(made, "OnSelectSaveMatrix:");
        DefineMethod<&C::openPanelDidEnd>(made, kOpenPanelDidEnd);
        DefineMethod<&C::windowShouldClose>(made, "windowShouldClose:");
        DefineMethod<&C::controlTextDidChange>(made, "controlTextDidChange:");
        NibOutletTable::Declare(made, "m_savePath", &C::m_savePath);
        NibOutletTable::Declare(made, "m_browsePath", &C::m_browsePath);
        NibOutletTable::Declare(made, "m_autoOpen", &C::m_autoOpen);
        NibOutletTable::Declare(made, "m_matrixSavePath", &C::m_matrixSavePath);
        return made;
    }();
    return cls;
}

HVXPreferenceWindowController* HVXPreferenceWindowController::init() {
    return windowNibPath().empty() ? nullptr : this;
}

void HVXPreferenceWindowController::awakeFromNib() {
    // The connections the interface file has no place for.
    if (NSWindow* shown = window(); shown != nullptr) {
        shown->setDelegate(this);
    }
    if (m_savePath) {
        m_savePath->setDelegate(this);
    }
    loadUsrDefault();
    CheckSaveMatrix();
}

void HVXPreferenceWindowController::loadUsrDefault() {
    const PreferenceData& store = Store();
    if (m_savePath) {
        std::optional<nlohmann::json> stored =
            store.GetPreferenceItem(PreferenceKeys::kSavePrefePath, 0);
        m_savePath->setStringValue(
            stored && stored->is_string()
                ? stored->get<std::string>()
                : stringByAppendingPathComponent(NSHomeDirectory(), "Desktop"));
    }
    if (m_autoOpen) {
        std::optional<nlohmann::json> stored =
            store.GetPreferenceItem(PreferenceKeys::kAutoOpen, 0);
        const bool on = stored && *stored == PreferenceKeys::kTrue;
        m_autoOpen->setState(on ? NSOnState : NSOffState);
    }
}

void HVXPreferenceWindowController::CheckSaveMatrix() {
    const bool fromLastFolder =
        m_matrixSavePath && m_matrixSavePath->selectedTag() == kLastFolderTag;
    if (m_savePath) {
        m_savePath->setEnabled(!fromLastFolder);
        m_savePath->setTextColor(fromLastFolder ? NSColor::grayColor() : NSColor::blackColor());
    }
    if (m_browsePath) {
        m_browsePath->setEnabled(!fromLastFolder);
    }
    StoreSavePath();
}

void HVXPreferenceWindowController::OnBrowse(id /*sender*/) {
    NSWindow* shown = window();
    // A sheet is modal for its window: a second chooser would answer into the first one's field.
    if (shown == nullptr || shown->attachedSheet() != nullptr) {
        return;
    }
    Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
    panel->setCanChooseDirectories(true);
    panel->beginSheetForDirectory(NSHomeDirectory(), "", {}, shown, this,
                                  sel_registerName(kOpenPanelDidEnd), kBrowseContext);
}

void HVXPreferenceWindowController::openPanelDidEnd(NSOpenPanel* panel, int64_t returnCode,
                                                    int64_t /*contextInfo*/) {
    if (returnCode != NSOpenPanel::NSOKButton || panel == nullptr || panel->filenames().empty() ||
        !m_savePath) {
        return;
    }
    m_savePath->setStringValue(panel->filenames().front());
    StoreSavePath();
}

void HVXPreferenceWindowController::OnCheckAutoOpen(id /*sender*/) {
    const bool on = m_autoOpen && m_autoOpen->state() == NSOnState;
    Store().SetPreferenceItemAndSave(on ? PreferenceKeys::kTrue : PreferenceKeys::kFalse,
                                     PreferenceKeys::kAutoOpen);
}

void HVXPreferenceWindowController::OnSelectSaveMatrix(id /*sender*/) {
    CheckSaveMatrix();
}

bool HVXPreferenceWindowController::windowShouldClose(id /*sender*/) {
    Store().SaveUserPreference();
    return true;
}

void HVXPreferenceWindowController::controlTextDidChange(id /*notification*/) {
    // Every keystroke is stored, so a window closed by quitting loses nothing typed.
    StoreSavePath();
}

void HVXPreferenceWindowController::StoreSavePath() {
    if (m_savePath) {
        Store().SetPreferenceItem(m_savePath->stringValue(), PreferenceKeys::kSavePrefePath);
    }
    Store().SaveUserPreference();
}
