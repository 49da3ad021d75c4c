#pragma once

#include <memory>
#include <string>

#include "browser/chromium/DevToolsConnection.h"
#include "webkit/WireRecording.h"

// What a page's tabs receive (its documents, its frames', the scripts and style sheets they load),
// handed to the process's WireRecorder as the browser received it, so that the archive replays
// the page. Each response is paused once it is in, its body taken from the browser, recorded, and
// let go on: a page cannot finish before what it received is recorded.
namespace response_recording {

using Json = DevToolsConnection::Json;

// The Fetch pattern that pauses every response.
Json Pattern();
// Whether a Fetch.requestPaused is at its response.
bool AtResponse(const Json& paused);
// Records the paused response with `recorder` (when there is one), then lets it go on.
void RecordThenContinue(DevToolsConnection& connection, const Json& paused,
                        const std::string& sessionId,
                        const std::shared_ptr<WireRecorder>& recorder);
// The exchange of a paused response whose body the browser gave as `body` (nothing when it gave
// none). The browser has undone the transfer and content codings: the head says so, keeping
// what the server sent as X-Archive-Orig-* fields.
WireExchange Exchange(const Json& paused, const std::optional<std::string>& body);

} // namespace response_recording
