#include "appkit/NibDecoderTable.h"

#include <algorithm>
#include <unordered_map>

#include "runtime/Runtime.h"

namespace {

std::unordered_map<Class, NibDecoder>& Table() {
    static std::unordered_map<Class, NibDecoder> table;
    return table;
}

} // namespace

void NibDecoderTable::Register(Class cls, NibDecoder decoder) {
    Table()[cls] = std::move(decoder);
}

std::vector<const NibDecoder*> NibDecoderTable::DecodersFor(Class cls) {
    std::vector<const NibDecoder*> decoders;
    for (Class walk = cls; walk != nullptr; walk = class_getSuperclass(walk)) {
        auto found = Table().find(walk);
        if (found != Table().end()) {
            decoders.push_back(&found->second);
        }
    }
    std::reverse(decoders.begin(), decoders.end());
    return decoders;
}
