#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "foundation/Geometry.h"
#include "runtime/NSObject.h"

// One object of a loaded interface file, as the file described it. The properties are kept
// whole, including those the loader does not apply, for presenters and for the classes that
// read more of them later.
struct NibObjectRecord {
    std::string identifier;
    std::string className;
    Ref<NSObject> object;
    std::optional<NSRect> frame; // points, origin bottom-left
    nlohmann::json properties = nlohmann::json::object();
    bool topLevel = false;
};
