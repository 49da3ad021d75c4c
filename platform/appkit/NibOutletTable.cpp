#include "appkit/NibOutletTable.h"

#include <map>
#include <unordered_map>

#include "runtime/Runtime.h"

namespace {

using Outlets = std::unordered_map<Class, std::map<std::string, NibOutlet>>;

Outlets& Table() {
    static Outlets table;
    return table;
}

} // namespace

void NibOutletTable::Declare(Class cls, const std::string& name, NibOutlet outlet) {
    Table()[cls][name] = std::move(outlet);
}

const NibOutlet* NibOutletTable::Find(Class cls, const std::string& name) {
    for (Class walk = cls; walk != nullptr; walk = class_getSuperclass(walk)) {
        auto outlets = Table().find(walk);
        if (outlets != Table().end()) {
            auto found = outlets->second.find(name);
            if (found != outlets->second.end()) {
                return &found->second;
            }
        }
    }
    return nullptr;
}

void NibOutletTable::Forget(Class cls) {
    Table().erase(cls);
}
