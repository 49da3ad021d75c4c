#include "listwindow/HVXSWFListWindowController.h"

#include <algorithm>
#include <limits>

#include "appkit/NibOutletTable.h"
#include "capture/CaptureRecords.h"
#include "companion/Companion.h"
#include "foundation/Log.h"
#include "foundation/PathString.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/RuntimeClass.h"
#include "listwindow/HVXSWFListWindowMethods.h"
#include "listwindow/ListWindowNames.h"
#include "prefs/PreferenceData.h"
#include "prefs/PreferenceKeys.h"
#include "util/PathWork.h"

Ref<HVXSWFListWindowController> HVXSWFListWindowController::_sharedSWFListWindowController;

namespace {

constexpr const char* kInterfaceFile = "SafariHarvexSWFList";
// The caption grey of the information panel: 78/255 in each channel.
constexpr float kInfoGrey = 0.30588236F;
// Only the most recent save folders are listed and stored.
constexpr size_t kShownSaveFolders = 4;
constexpr const char* kTrustFolder =
    "/Library/Preferences/Macromedia/Flash Player/#Security/FlashPlayerTrust/";

std::string InterfaceFilePath() {
    NSBundle* bundle = NSBundle::bundleForClass(HVXSWFListWindowController::ClassObject());
    return bundle == nullptr ? std::string() : bundle->pathForResource(kInterfaceFile, "nib");
}

// A stored text, or "" when it is absent or not a text.
std::string StoredText(const PreferenceData& store, const char* key) {
    std::optional<nlohmann::json> value = store.GetPreferenceItem(key, 0);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

// The stored folders that are texts, in order.
std::vector<std::string> StoredFolders(const PreferenceData& store, const char* key) {
    std::vector<std::string> folders;
    std::optional<nlohmann::json> value = store.GetPreferenceItem(key, 1);
    if (value && value->is_array()) {
        for (const nlohmann::json& item : *value) {
            if (item.is_string()) {
                folders.push_back(item.get<std::string>());
            }
        }
    }
    return folders;
}

int32_t StoredIndex(const PreferenceData& store, const char* key) {
    int64_t value = store.GetIndexKeyOnUserDefaults(key);
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

HVXSWFListWindowController::HVXSWFListWindowController()
    : NSWindowController(ClassObject(), InterfaceFilePath(), nullptr) {
}

HVXSWFListWindowController::~HVXSWFListWindowController() {
    // Nothing may reach a controller that is gone: neither the poll nor a selection.
    StopListening();
    if (splitView && splitView->delegate() == this) {
        splitView->setDelegate(nullptr);
    }
    if (NSWindow* shown = isWindowLoaded() ? window() : nullptr;
        shown != nullptr && shown->delegate() == this) {
        shown->setDelegate(nullptr);
    }
}

Class HVXSWFListWindowController::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<HVXSWFListWindowController>(
            "HVXSWFListWindowController", NSWindowController::ClassObject());
        RegisterListWindowMethods(made);
        using Self = HVXSWFListWindowController;
        NibOutletTable::Declare(made, "btnOpenSWF", &Self::btnOpenSWF);
        NibOutletTable::Declare(made, "btnSaveSWF", &Self::btnSaveSWF);
        NibOutletTable::Declare(made, "btnReload", &Self::btnReload);
        NibOutletTable::Declare(made, "combox", &Self::combox);
        NibOutletTable::Declare(made, "tx_filename", &Self::tx_filename);
        NibOutletTable::Declare(made, "tx_moviesize", &Self::tx_moviesize);
        NibOutletTable::Declare(made, "tx_fileversion", &Self::tx_fileversion);
        NibOutletTable::Declare(made, "tx_framesize", &Self::tx_framesize);
        NibOutletTable::Declare(made, "tx_framerate", &Self::tx_framerate);
        NibOutletTable::Declare(made, "tx_framecount", &Self::tx_framecount);
        NibOutletTable::Declare(made, "filename", &Self::filename);
        NibOutletTable::Declare(made, "moviesize", &Self::moviesize);
        NibOutletTable::Declare(made, "fileversion", &Self::fileversion);
        NibOutletTable::Declare(made, "framesize", &Self::framesize);
        NibOutletTable::Declare(made, "framerate", &Self::framerate);
        NibOutletTable::Declare(made, "framecount", &Self::framecount);
        NibOutletTable::Declare(made, "splitView", &Self::splitView);
        NibOutletTable::Declare(made, "swfWebview", &Self::swfWebview);
        NibOutletTable::Declare(made, "adWebview", &Self::adWebview);
        return made;
    }();
    return cls;
}

HVXSWFListWindowController* HVXSWFListWindowController::sharedSWFListWindowController() {
    if (!_sharedSWFListWindowController) {
        _sharedSWFListWindowController = MakeRef<HVXSWFListWindowController>();
    }
    return _sharedSWFListWindowController.get();
}

void HVXSWFListWindowController::ReleaseSWFListWindowController() {
    // Moved out first: the shared reference is empty before the instance goes, so nothing its
    // destruction triggers can reach it through sharedSWFListWindowController.
    Ref<HVXSWFListWindowController> released = std::move(_sharedSWFListWindowController);
    // Whoever still holds it (a pending task, the menu's last sender) keeps an object that no
    // longer answers for the window.
    if (released) {
        released->StopListening();
    }
}

void HVXSWFListWindowController::StopListening() {
    StopTimer();
    NSNotificationCenter::defaultCenter().removeObserver(this);
}

void HVXSWFListWindowController::awakeFromNib() {
    // The connections the interface file has no place for: the window and the split view
    // report to their controller.
    if (NSWindow* shown = window(); shown != nullptr) {
        shown->setDelegate(this);
    }
    if (splitView) {
        splitView->setDelegate(this);
    }

    thisBundle = NSBundle::bundleForClass(ClassObject());
    const bool installed = isInstallDissecta();
    if (btnOpenSWF) {
        btnOpenSWF->setTitle(
            LocalString(installed ? "Main : OpenBtnTitle" : "Main : OpenBtnTitle No Dissecta"));
        btnOpenSWF->setToolTip(
            LocalString(installed ? "Main : OpenBtnToolTip" : "Main : OpenBtnToolTip No Dissecta"));
    }
    canCollase = installed;
    lastTopViewHeight = 0;
    lastEndViewHeight = 0;
    if (btnReload) {
        btnReload->setToolTip(LocalString("Main : reloadBtnToolTip"));
    }
    infoColor = NSColor::colorWithCalibratedRed(kInfoGrey, kInfoGrey, kInfoGrey, 1.0F);
    for (NSTextField* caption : {tx_filename.get(), tx_moviesize.get(), tx_fileversion.get(),
                                 tx_framesize.get(), tx_framerate.get(), tx_framecount.get()}) {
        if (caption != nullptr) {
            caption->setTextColor(infoColor);
        }
    }
    NSNotificationCenter::defaultCenter().addObserver(
        this, sel_registerName(ListWindowSelectors::kSetSWFInfo),
        ListWindowNotifications::kSelectedSWFNum, nullptr);
    WriteTrustFiles();
    showHtml(PagePath("SWFBrowser"));
    showAdHtml(PagePath("AdBrowser"));
    loadUsrDefault();
    raiseTimer();
}

std::string HVXSWFListWindowController::PagePath(const std::string& page) const {
    std::string path =
        thisBundle == nullptr ? std::string() : thisBundle->pathForResource(page, "html");
    if (path.empty()) {
        // The window still works, with an empty pane; the log says what the bundle lacks.
        NSLog("HVXSWFListWindowController: the bundle " +
              (thisBundle == nullptr ? std::string("of the plug-in") : thisBundle->bundlePath()) +
              " has no " + page + ".html");
    }
    return path;
}

void HVXSWFListWindowController::WriteTrustFiles() const {
    // Without a home folder the trust files have no place: writing them relative to the working
    // folder would litter wherever the host was started.
    const char* home = GetUsrHomeDirectory();
    if (home == nullptr || *home == '\0' || thisBundle == nullptr) {
        return;
    }
    const std::string trustFolder = std::string(home) + kTrustFolder;
    const std::string pagesTrust = trustFolder + "SWFHarvexTrustFiles.cfg";
    // Both movies lie in the one resource folder; the second write names it again.
    for (const char* movie : {"SWFBrowser", "AdBrowser"}) {
        std::string moviePath = thisBundle->pathForResource(movie, "swf");
        if (!moviePath.empty()) {
            CreateFlashTrustCFG(stringByDeletingLastPathComponent(moviePath), pagesTrust);
        }
    }
    CreateFlashTrustCFG(CaptureFolderInHome(home), trustFolder + "SWFHarvexSaveTrustFiles.cfg");
}

void HVXSWFListWindowController::loadUsrDefault() {
    PreferenceData& store = *PreferenceData::sharedPreferenceData();
    saveMatrixIndex = StoredIndex(store, PreferenceKeys::kSaveMatrixIndex);
    fileMatrixIndex = StoredIndex(store, PreferenceKeys::kFileMatrixIndex);
    if (std::vector<std::string> folders = StoredFolders(store, PreferenceKeys::kSavePathArray);
        !folders.empty()) {
        m_lastSavePathArray = std::move(folders);
        UpdataComboxAndPreference();
    }
    savePrefePath = StoredText(store, PreferenceKeys::kSavePrefePath);
    saveComboxPath = StoredText(store, PreferenceKeys::kSaveComboxPath);
    if (combox) {
        combox->setStringValue(saveMatrixIndex != 0 ? savePrefePath : saveComboxPath);
    }
    swfShow();
}

void HVXSWFListWindowController::UpdataComboxAndPreference() {
    if (m_lastSavePathArray.empty() || !combox) {
        return;
    }
    combox->removeAllItems();
    // Oldest of the shown folders first, the most recent last.
    const size_t shown = std::min(kShownSaveFolders, m_lastSavePathArray.size());
    for (size_t index = shown; index-- > 0;) {
        combox->addItemWithObjectValue(m_lastSavePathArray[index]);
    }
    combox->reloadData();
}

void HVXSWFListWindowController::saveUsrDefault() {
    PreferenceData& store = *PreferenceData::sharedPreferenceData();
    store.SetPreferenceItem(combox ? combox->stringValue() : std::string(),
                            PreferenceKeys::kSaveComboxPath);
    const size_t stored = std::min(kShownSaveFolders, m_lastSavePathArray.size());
    nlohmann::json folders = nlohmann::json::array();
    for (size_t index = 0; index < stored; ++index) {
        folders.push_back(m_lastSavePathArray[index]);
    }
    store.SetPreferenceItemAndSave(folders, PreferenceKeys::kSavePathArray);
}

bool HVXSWFListWindowController::isInstallDissecta() const {
    return ::isInstallDissecta(Bundle());
}

bool HVXSWFListWindowController::windowShouldClose(id /*sender*/) {
    NSNotificationCenter::defaultCenter().postNotificationName(
        ListWindowNotifications::kOnClickList, this);
    return true;
}

NSBundle* HVXSWFListWindowController::Bundle() const {
    return thisBundle != nullptr ? thisBundle : NSBundle::bundleForClass(ClassObject());
}

std::string HVXSWFListWindowController::LocalString(const std::string& key) const {
    return ::LocalString(Bundle(), key);
}

void HVXSWFListWindowController::ReadSaveSettings() {
    const PreferenceData& store = *PreferenceData::sharedPreferenceData();
    saveMatrixIndex = StoredIndex(store, PreferenceKeys::kSaveMatrixIndex);
    fileMatrixIndex = StoredIndex(store, PreferenceKeys::kFileMatrixIndex);
    ReadAutoOpen();
}

void HVXSWFListWindowController::ReadAutoOpen() {
    // Any stored value but "false" means on; none at all means off.
    std::optional<nlohmann::json> value =
        PreferenceData::sharedPreferenceData()->GetPreferenceItem(PreferenceKeys::kAutoOpen, 0);
    autoOpen = value && *value != nlohmann::json(PreferenceKeys::kFalse);
}
