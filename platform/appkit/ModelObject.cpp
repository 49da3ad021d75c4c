#include "appkit/ModelObject.h"

#include <algorithm>

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
}
