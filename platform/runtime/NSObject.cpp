#include "runtime/NSObject.h"

#include "runtime/Runtime.h"

NSObject::NSObject() : m_isa(RootClass()) {
}

void NSObject::release() const {
    if (m_references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

Class NSObject::RootClass() {
    static Class root = objc_registerRootClass("NSObject");
    return root;
}
