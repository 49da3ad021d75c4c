#include "listwindow/HVXSWFListWindowMethods.h"

#include "listwindow/HVXSWFListWindowController.h"
#include "listwindow/ListWindowNames.h"
#include "runtime/MemberMethod.h"

void RegisterListWindowMethods(Class cls) {
    using C = HVXSWFListWindowController;
    namespace S = ListWindowSelectors;
    Class meta = object_getClass(cls);
    DefineMethod<&C::sharedSWFListWindowController>(meta, S::kShared);
    DefineMethod<&C::ReleaseSWFListWindowController>(meta, S::kRelease);

    DefineMethod<&C::awakeFromNib>(cls, S::kAwakeFromNib);
    DefineMethod<&C::onReload>(cls, S::kOnReload);
    DefineMethod<&C::onSaveSWF>(cls, S::kOnSaveSWF);
    DefineMethod<&C::onOpenSWFApp>(cls, S::kOnOpenSWFApp);
    DefineMethod<&C::onBrowse>(cls, S::kOnBrowse);
    DefineMethod<&C::openPanelDidEnd>(cls, S::kOpenPanelDidEnd);
    DefineMethod<&C::AlertDidEnd>(cls, S::kOverwriteDidEnd);
    DefineMethod<&C::alertDidEnd_returnCode_contextInfo>(cls, S::kCreateFolderDidEnd);
    DefineMethod<&C::alertDidEnd_ReturnCode_contextInfo>(cls, S::kCompanionMissingDidEnd);
    DefineMethod<&C::SWFIsReady>(cls, S::kSWFIsReady);
    DefineMethod<&C::setSWFInfo>(cls, S::kSetSWFInfo);
    DefineMethod<&C::windowShouldClose>(cls, S::kWindowShouldClose);

    DefineMethod<&C::splitViewShouldHideDividerAtIndex>(cls, S::kShouldHideDivider);
    DefineMethod<&C::splitViewCanCollapseSubview>(cls, S::kCanCollapse);
    DefineMethod<&C::splitViewConstrainMinCoordinate>(cls, S::kConstrainMin);
    DefineMethod<&C::splitViewConstrainMaxCoordinate>(cls, S::kConstrainMax);
    DefineMethod<&C::splitViewConstrainSplitPosition>(cls, S::kConstrainPosition);
}
