#pragma once

#include <optional>
#include <string>
#include <vector>

#include "appkit/NibObjectRecord.h"

// Why an interface file could not be loaded.
struct NibLoadError {
    std::string file;
    std::string reason;

    std::string message() const { return file + ": " + reason; }
};

// What loading an interface file gives the caller. The result holds every object of the file:
// the top-level objects stay alive as long as the caller keeps the result (or as long as the
// owner's outlets hold them). On error no object is kept.
struct NibLoadResult {
    std::optional<NibLoadError> error;
    std::vector<Ref<NSObject>> topLevelObjects;
    std::vector<NibObjectRecord> objects; // every object, in the file's order, parents first

    bool ok() const { return !error.has_value(); }
    // The object with that id, or null.
    NSObject* objectWithId(const std::string& identifier) const {
        for (const NibObjectRecord& record : objects) {
            if (record.identifier == identifier) {
                return record.object.get();
            }
        }
        return nullptr;
    }
};
