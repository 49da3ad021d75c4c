#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/NSObject.h"

// The base of appkit's model objects: presenters (tests, the front end) follow an object by
// observing it and read its state through Describe(), since nothing here draws.
class ModelObject : public NSObject {
public:
    using ObserverToken = uint64_t;

    // Observers are called, in the order they were added, after every change.
    ObserverToken AddObserver(std::function<void()> observer);
    // False when the token is unknown (already removed).
    bool RemoveObserver(ObserverToken token);

    virtual nlohmann::json Describe() const = 0;

protected:
    explicit ModelObject(Class isa) : NSObject(isa) {}
    // Tells the observers. An observer may add or remove observers, or drop the last outside
    // reference to this object, while it is being told.
    void NotifyObservers();

private:
    struct Observer {
        ObserverToken token;
        std::function<void()> callback;
    };
    std::vector<Observer> m_observers;
    ObserverToken m_nextToken = 1;
};
