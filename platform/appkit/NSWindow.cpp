#include "appkit/NSWindow.h"

#include "foundation/objects/RuntimeClass.h"

NSWindow::NSWindow(std::string title) : NSObject(ClassObject()), m_title(std::move(title)) {
}

Class NSWindow::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSWindow>("NSWindow", NSObject::RootClass());
    return cls;
}

void NSWindow::beginSheet(Ref<NSAlert> sheet) {
    sheet->setWindow(this);
    m_sheets.push_back(std::move(sheet));
}
