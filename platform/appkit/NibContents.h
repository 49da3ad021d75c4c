#pragma once

#include <string>
#include <vector>

#include "appkit/NibObjectRecord.h"

// What a loaded interface file holds: every object of the file. The top-level objects stay
// alive as long as the caller keeps the contents (or as long as the owner's outlets hold them).
struct NibContents {
    std::vector<Ref<NSObject>> topLevelObjects;
    std::vector<NibObjectRecord> objects; // every object, in the file's order, parents first

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
