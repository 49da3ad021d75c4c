#include "runtime/Selector.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

struct SelectorTable {
    std::mutex lock;
    std::unordered_map<std::string, std::unique_ptr<objc_selector>> byName;
};

SelectorTable& Table() {
    static SelectorTable table;
    return table;
}

} // namespace

SEL sel_registerName(std::string_view name) {
    SelectorTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.byName.find(std::string(name));
    if (found != table.byName.end()) {
        return found->second.get();
    }
    auto selector = std::make_unique<objc_selector>(objc_selector{std::string(name)});
    SEL interned = selector.get();
    table.byName.emplace(std::string(name), std::move(selector));
    return interned;
}

SEL NSSelectorFromString(std::string_view name) {
    return sel_registerName(name);
}

std::string NSStringFromSelector(SEL selector) {
    return selector == nullptr ? std::string("(null)") : selector->name;
}
