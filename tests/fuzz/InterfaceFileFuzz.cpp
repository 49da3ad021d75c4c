// Feeds arbitrary bytes to the interface-file loader, with an owner that declares outlets and
// actions as the plug-in's controllers do, so that connecting is reached as well as making.
#include <cstddef>
#include <cstdint>

#include "MemoryFile.h"
#include "appkit/NSMenu.h"
#include "appkit/NSWindow.h"
#include "appkit/NibLoader.h"
#include "appkit/NibOutletTable.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

class FuzzOwner : public NSObject {
public:
    FuzzOwner() : NSObject(ClassObject()) {}
    static Class ClassObject() {
        static Class cls = [] {
            Class made = RegisterRuntimeClass<FuzzOwner>("HVXFuzzOwner", NSObject::RootClass());
            class_defineMethod(made, "awakeFromNib", &Awake);
            class_defineMethod(made, "act:", &Act);
            NibOutletTable::Declare(made, "menu", &FuzzOwner::menu);
            NibOutletTable::Declare(made, "window", &FuzzOwner::window);
            return made;
        }();
        return cls;
    }

    Ref<NSMenu> menu;
    Ref<NSWindow> window;

private:
    static void Awake(id /*self*/, SEL /*cmd*/) {}
    static void Act(id /*self*/, SEL /*cmd*/, id /*sender*/) {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    Ref<FuzzOwner> owner = MakeRef<FuzzOwner>();
    Outcome<NibContents> result = loadNibFile(file.Fill(data, size), owner.get());
    // A failed load leaves the owner untouched.
    if (!result.ok() && (owner->menu || owner->window)) {
        __builtin_trap();
    }
    return 0;
}
