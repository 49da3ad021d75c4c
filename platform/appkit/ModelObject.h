#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/NSObject.h"

// The base of appkit's model objects: presenters (tests, the front end) follow an object by
// observing it and read its state through Describe(), since nothing here draws.
//
// Every object has an id of its own for the process's life, carried as "oid" in its
// description, so that a presenter can name the object an event is for; WithId finds it again
// while it lives. Main thread only.
class ModelObject : public NSObject {
public:
    using ObserverToken = uint64_t;
    using ObjectId = uint64_t;

    ModelObject(const ModelObject&) = delete;
    ModelObject& operator=(const ModelObject&) = delete;
    ModelObject(ModelObject&&) = delete;
    ModelObject& operator=(ModelObject&&) = delete;

    ObjectId objectId() const { return m_objectId; }
    // The living object with that id; null once it has gone (ids are never reused).
    static ModelObject* WithId(ObjectId id);
    // Calls `visit` for every living model object, oldest first.
    static void ForEach(const std::function<void(ModelObject&)>& visit);
    // One listener told of every change of every object, after its own observers: a presenter
    // that follows whole windows. Null removes it.
    static void SetChangeListener(std::function<void(ModelObject&)> listener);

    // Observers are called, in the order they were added, after every change.
    ObserverToken AddObserver(std::function<void()> observer);
    // False when the token is unknown (already removed).
    bool RemoveObserver(ObserverToken token);

    // The object's state, with its "oid" unless it is a value.
    nlohmann::json Describe() const;

protected:
    explicit ModelObject(Class isa);
    ~ModelObject() override;
    // The object's own state; Describe adds the id.
    virtual nlohmann::json DescribeState() const = 0;
    // Values (colours, images, styled text) are described by what they hold: no presenter
    // sends them events, and an id would make two equal values describe differently.
    virtual bool IsValue() const { return false; }
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
    ObjectId m_objectId;
};
