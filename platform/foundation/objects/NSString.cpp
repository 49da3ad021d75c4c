#include "foundation/objects/NSString.h"

#include "foundation/objects/RuntimeClass.h"

NSString::NSString(std::string text) : NSObject(ClassObject()), m_text(std::move(text)) {
}

Class NSString::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSString>("NSString", NSObject::RootClass());
    return cls;
}

Ref<NSString> NSString::stringWithString(std::string text) {
    return MakeRef<NSString>(std::move(text));
}
