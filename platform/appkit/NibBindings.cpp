#include "appkit/NibBindings.h"

#include "appkit/UserDefaultsBinding.h"

std::string ReadNibBindings(NSObject& object, const nlohmann::json& properties) {
    auto bindings = properties.find("bindings");
    if (bindings == properties.end()) {
        return {};
    }
    if (!bindings->is_object()) {
        return "property 'bindings' is not an object";
    }
    auto* bindable = dynamic_cast<UserDefaultsBindable*>(&object);
    for (const auto& [name, options] : bindings->items()) {
        auto key = options.is_object() ? options.find("userDefaultsKey") : options.end();
        if (!options.is_object() || key == options.end() || !key->is_string() ||
            key->get<std::string>().empty()) {
            return "binding '" + name + "' is not {\"userDefaultsKey\": a key}";
        }
        if (bindable == nullptr || !bindable->bindToUserDefaults(name, key->get<std::string>())) {
            return "there is no binding '" + name + "' here";
        }
    }
    return {};
}
