#include "foundation/objects/NSNotificationCenter.h"

#include <algorithm>

#include "foundation/objects/NSNotification.h"
#include "runtime/MessageSend.h"

NSNotificationCenter& NSNotificationCenter::defaultCenter() {
    // Never destroyed: objects that outlive it otherwise (statics of loaded plug-in modules, whose
    // destructors run at exit in an order nobody controls) still remove themselves on the way out.
    static auto* const center =
        new NSNotificationCenter(); // NOLINT(cppcoreguidelines-owning-memory): lives forever
    return *center;
}

void NSNotificationCenter::addObserver(id observer, SEL selector, const std::string& name,
                                       id sender) {
    m_observations.push_back({observer, selector, name, sender});
}

void NSNotificationCenter::removeObserver(id observer) {
    std::erase_if(m_observations,
                  [observer](const Observation& each) { return each.observer == observer; });
}

void NSNotificationCenter::postNotificationName(const std::string& name, id object) {
    Ref<NSNotification> notification = MakeRef<NSNotification>(name, object);
    // A copy: observers may come and go while the notification is being delivered.
    std::vector<Observation> receivers = m_observations;
    for (const Observation& each : receivers) {
        bool stillObserving = std::any_of(
            m_observations.begin(), m_observations.end(),
            [&](const Observation& current) { return current.observer == each.observer; });
        if (stillObserving && each.name == name &&
            (each.sender == nullptr || each.sender == object)) {
            objc_msgSend<void>(each.observer, each.selector, notification.get());
        }
    }
}
