#include "appkit/ModelObject.h"

#include <algorithm>
#include <map>

namespace {

// The living objects, ordered by id so ForEach visits the oldest first, and the change listener.
// Objects held by statics made before it (an empty Ref assigned later) outlive it at exit: they
// find it gone and leave it alone.
struct Registry {
    std::map<ModelObject::ObjectId, ModelObject*> living;
    std::function<void(ModelObject&)> listener;

    static inline bool gone = false;
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    Registry(Registry&&) = delete;
    Registry& operator=(Registry&&) = delete;
    ~Registry() { gone = true; }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::map<ModelObject::ObjectId, ModelObject*>& Living() {
    return TheRegistry().living;
}

} // namespace

ModelObject::ModelObject(Class isa) : NSObject(isa) {
    static ObjectId next = 1;
    m_objectId = next++;
    Living().emplace(m_objectId, this);
}

ModelObject::~ModelObject() {
    if (!Registry::gone) {
        Living().erase(m_objectId);
    }
}

ModelObject* ModelObject::WithId(ObjectId id) {
    auto found = Living().find(id);
    return found == Living().end() ? nullptr : found->second;
}

void ModelObject::ForEach(const std::function<void(ModelObject&)>& visit) {
    // A snapshot of the ids: a visit may create or release objects.
    std::vector<ObjectId> ids;
    ids.reserve(Living().size());
    for (const auto& entry : Living()) {
        ids.push_back(entry.first);
    }
    for (ObjectId id : ids) {
        if (ModelObject* object = WithId(id)) {
            visit(*object);
        }
    }
}

void ModelObject::SetChangeListener(std::function<void(ModelObject&)> listener) {
    TheRegistry().listener = std::move(listener);
}

nlohmann::json ModelObject::Describe() const {
    nlohmann::json description = DescribeState();
    if (description.is_object() && !IsValue()) {
        description["oid"] = m_objectId;
    }
    return description;
}

ModelObject::ObserverToken ModelObject::AddObserver(std::function<void()> observer) {
    ObserverToken token = m_nextToken++;
    m_observers.push_back({token, std::move(observer)});
    return token;
}

bool ModelObject::RemoveObserver(ObserverToken token) {
    auto found =
        std::find_if(m_observers.begin(), m_observers.end(),
                     [token](const Observer& observer) { return observer.token == token; });
    if (found == m_observers.end()) {
        return false;
    }
    m_observers.erase(found);
    return true;
}

void ModelObject::NotifyObservers() {
    // A copy, so that observers may change the list; and a reference, so that this object
    // outlives the round. An observer removed during the round is not called afterwards.
    Ref<ModelObject> keepAlive(this);
    std::vector<Observer> round = m_observers;
    for (const Observer& observer : round) {
        bool stillThere = std::any_of(m_observers.begin(), m_observers.end(),
                                      [&](const Observer& o) { return o.token == observer.token; });
        if (stillThere) {
            observer.callback();
        }
    }
    if (!Registry::gone && TheRegistry().listener) {
        TheRegistry().listener(*this);
    }
}
