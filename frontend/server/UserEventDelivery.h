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

// Who sent an event: the renderer, for the user (clicks, edits, answers to sheets), or a web
// view's page through its bridge (calls, keys, faults), relayed by the renderer for the frame it
// came from. A page may use its bridge and nothing else.
enum class EventSource { User, Page };

// Any thread: what is wrong with the event's shape (unknown kind: 400; a kind that is not its
// sender's: 400 for the renderer, 403 for a page; a missing field or one of the wrong type: 400),
// or nothing. Nothing reaches the model unless this passes.
std::optional<EventAnswer> CheckEventShape(const nlohmann::json& event, EventSource source);

// Main thread, for an event whose shape passed: looks the object up again (gone: 404), checks
// that it is the kind of object the event is for (400), that no sheet is up on its window unless
// the event is the sheet's own (409), and delivers it; an event the object turns down (a disabled
// control, a row that is not there) answers 409, and a page's use of what its bridge does not
// offer 403.
EventAnswer DeliverEvent(const nlohmann::json& event, EventSource source);
