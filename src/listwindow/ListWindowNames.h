#pragma once

// The names the captured-SWF window is reached by: selectors that interface files, timers,
// notifications and sheets name, and the notifications it posts and observes.
namespace ListWindowSelectors {
inline constexpr char kShared[] = "sharedSWFListWindowController";
inline constexpr char kRelease[] = "ReleaseSWFListWindowController";
inline constexpr char kAwakeFromNib[] = "awakeFromNib";
inline constexpr char kOnReload[] = "onReload:";
inline constexpr char kOnSaveSWF[] = "onSaveSWF:";
inline constexpr char kOnOpenSWFApp[] = "onOpenSWFApp:";
inline constexpr char kOnBrowse[] = "onBrowse:";
inline constexpr char kSWFIsReady[] = "SWFIsReady:";
inline constexpr char kSetSWFInfo[] = "setSWFInfo:";
inline constexpr char kWindowShouldClose[] = "windowShouldClose:";
// The end handlers of the window's sheets: three names that differ only in capitals, each its
// own method.
inline constexpr char kOpenPanelDidEnd[] = "openPanelDidEnd:returnCode:contextInfo:";
inline constexpr char kOverwriteDidEnd[] = "AlertDidEnd:ReturnCode:ContextInfo:";
inline constexpr char kCreateFolderDidEnd[] = "alertDidEnd:returnCode:contextInfo:";
inline constexpr char kCompanionMissingDidEnd[] = "alertDidEnd:ReturnCode:contextInfo:";

inline constexpr char kShouldHideDivider[] = "splitView:shouldHideDividerAtIndex:";
inline constexpr char kCanCollapse[] = "splitView:canCollapseSubview:";
inline constexpr char kConstrainMin[] = "splitView:constrainMinCoordinate:ofSubviewAt:";
inline constexpr char kConstrainMax[] = "splitView:constrainMaxCoordinate:ofSubviewAt:";
inline constexpr char kConstrainPosition[] = "splitView:constrainSplitPosition:ofSubviewAt:";
} // namespace ListWindowSelectors

namespace ListWindowNotifications {
// Posted by the browser page's web view with the index the page selected.
inline constexpr char kSelectedSWFNum[] = "SelectedSWFNum";
// Posted when the window closes, so the menu builds a fresh window next time.
inline constexpr char kOnClickList[] = "OnClickList";
} // namespace ListWindowNotifications
