#include "browser/BundleLoader.h"

#include <dlfcn.h>

#include "runtime/MessageSend.h"

namespace {

constexpr const char* kRegistrationEntry = "hvx_bundle_register";

Failure Refused(const std::string& path, std::string reason) {
    return {"cannot load the bundle " + path, std::move(reason)};
}

} // namespace

Outcome<Ref<NSBundle>> BundleLoader::loadBundle(const std::string& path) {
    Ref<NSBundle> bundle = NSBundle::bundleWithPath(path);
    if (!bundle) {
        return Refused(path, "no readable Info.json");
    }
    std::string executable = bundle->objectForInfoDictionaryKey("NSExecutable");
    if (executable.empty()) {
        return Refused(path, "Info.json names no NSExecutable");
    }
    std::string modulePath = path + "/" + executable;
    size_t mark = objc_registrationMark();
    // Never closed: the runtime's method tables point into the module from now on.
    void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return Refused(path, dlerror());
    }
    auto* registerClasses = reinterpret_cast<void (*)()>(dlsym(module, kRegistrationEntry));
    if (registerClasses == nullptr) {
        return Refused(path, std::string(modulePath) + " has no " + kRegistrationEntry);
    }
    registerClasses();
    std::vector<Class> classes = objc_classesRegisteredSince(mark);
    for (Class cls : classes) {
        bundle->registerClass(cls);
    }
    SEL load = sel_registerName("load");
    for (Class cls : classes) {
        if (object_getClass(cls)->methods.contains(load)) {
            objc_msgSend<void>(cls, load);
        }
    }
    return bundle;
}
