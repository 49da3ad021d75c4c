#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// A user event from the browser: `{"oid": N, "kind": K, …}`, delivered to the model object as
// the object's own presenter method expects.
struct EventAnswer {
    int status = 200; // 200: delivered
    std::string error;
};

// Any thread: what is wrong with the event's shape (unknown kind, a missing field or one of the
// wrong type), or nothing. Nothing reaches the model unless this passes.
std::optional<std::string> CheckUserEventShape(const nlohmann::json& event);

// Main thread, for an event whose shape passed: looks the object up again (gone: 404), checks
// that it is the kind of object the event is for (400), and delivers it; an event the object
// turns down (a disabled control, a row that is not there) answers 409.
EventAnswer DeliverUserEvent(const nlohmann::json& event);
