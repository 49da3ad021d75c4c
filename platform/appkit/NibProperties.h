#pragma once

#include <functional>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "appkit/NibDecoderTable.h"

// What every interface-file decoder needs: reading optional typed properties and lists of
// object references, each answering the reason when the file does not fit ("" when it does).

// Reads an optional property of one JSON type; answers the reason when it has another.
template <typename T>
std::string ReadNibProperty(const nlohmann::json& properties, const char* key,
                            nlohmann::json::value_t type, T& value) {
    auto found = properties.find(key);
    if (found == properties.end()) {
        return {};
    }
    bool fits = found->type() == type ||
                (type == nlohmann::json::value_t::number_integer && found->is_number_integer());
    if (!fits) {
        return std::string("property '").append(key).append("' has the wrong type");
    }
    value = found->get<T>();
    return {};
}

// The first reason of several, or "".
inline std::string FirstNibReason(std::initializer_list<std::string> reasons) {
    for (const std::string& reason : reasons) {
        if (!reason.empty()) {
            return reason;
        }
    }
    return {};
}

// Resolves an optional array property of references to objects of type T and hands each to
// `add`, which answers a reason to stop with.
template <typename T>
std::string ReadNibReferences(const nlohmann::json& properties, const char* key,
                              const NibResolver& resolve, const char* kind,
                              const std::function<std::string(T&)>& add) {
    auto list = properties.find(key);
    if (list == properties.end()) {
        return {};
    }
    if (!list->is_array()) {
        return std::string("property '").append(key).append("' is not an array");
    }
    for (const nlohmann::json& reference : *list) {
        auto* object = dynamic_cast<T*>(resolve(reference));
        if (object == nullptr) {
            return std::string("an entry of '").append(key).append("' is not ").append(kind);
        }
        if (std::string reason = add(*object); !reason.empty()) {
            return reason;
        }
    }
    return {};
}
