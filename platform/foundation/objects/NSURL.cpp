#include "foundation/objects/NSURL.h"

#include "foundation/objects/RuntimeClass.h"

NSURL::NSURL() : NSObject(ClassObject()) {
}

NSURL::NSURL(URL url) : NSObject(ClassObject()), m_url(std::move(url)) {
}

Class NSURL::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSURL>("NSURL", NSObject::RootClass());
    return cls;
}

Ref<NSURL> NSURL::URLWithString(std::string_view text) {
    std::optional<URL> url = URL::URLWithString(text);
    return url ? MakeRef<NSURL>(std::move(*url)) : nullptr;
}
