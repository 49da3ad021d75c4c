#include "foundation/objects/NSNotification.h"

#include "foundation/objects/RuntimeClass.h"

NSNotification::NSNotification(std::string name, Ref<NSObject> object)
    : NSObject(ClassObject()), m_name(std::move(name)), m_object(std::move(object)) {
}

Class NSNotification::ClassObject() {
    static Class cls =
        RegisterRuntimeClass<NSNotification>("NSNotification", NSObject::RootClass());
    return cls;
}
