#pragma once

#include <string>
#include <vector>

#include "runtime/NSObject.h"
#include "runtime/Selector.h"

// Delivers notifications synchronously, on the posting thread (the main thread), to observers
// registered by selector, in the order they registered. Observers are not retained: an observer
// removes itself before it goes away.
class NSNotificationCenter {
public:
    static NSNotificationCenter& defaultCenter();

    // `sender` null: notifications of that name from any sender.
    void addObserver(id observer, SEL selector, const std::string& name, id sender);
    void removeObserver(id observer);
    // The observer's method is sent the NSNotification ("v@:@").
    void postNotificationName(const std::string& name, id object);

private:
    struct Observation {
        id observer;
        SEL selector;
        std::string name;
        id sender;
    };
    NSNotificationCenter() = default;

    std::vector<Observation> m_observations;
};
