#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/NSObject.h"

// Answers the object that a property refers to: an object description nested in the file
// (by its id) or an id string. Null when there is no such object.
using NibResolver = std::function<NSObject*(const nlohmann::json& reference)>;

// Applies the properties a class knows to a fresh object of that class; answers the reason
// when they are wrong, empty when they were applied. Properties a decoder does not know are
// left alone.
using NibDecoder = std::function<std::string(NSObject& object, const nlohmann::json& properties,
                                             const NibResolver& resolve)>;

// The decoders classes register for interface files. A loaded object goes through the
// decoders of its class and of every superclass, the root's first.
class NibDecoderTable {
public:
    static void Register(Class cls, NibDecoder decoder);
    static std::vector<const NibDecoder*> DecodersFor(Class cls);
};
