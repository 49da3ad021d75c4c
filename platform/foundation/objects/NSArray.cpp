#include "foundation/objects/NSArray.h"

#include "foundation/objects/RuntimeClass.h"

NSArray::NSArray(std::vector<Ref<NSObject>> objects)
    : NSObject(ClassObject()), m_objects(std::move(objects)) {
}

Class NSArray::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSArray>("NSArray", NSObject::RootClass());
    return cls;
}
