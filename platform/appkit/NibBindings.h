#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "runtime/NSObject.h"

// Reads an object's optional "bindings" property,
//   "bindings": { "selectedIndex": { "userDefaultsKey": "SomeKey" } },
// and binds the object (a UserDefaultsBindable) to those user defaults keys. Answers the reason
// when the property is malformed or names a binding the object does not have, "" otherwise.
std::string ReadNibBindings(NSObject& object, const nlohmann::json& properties);
