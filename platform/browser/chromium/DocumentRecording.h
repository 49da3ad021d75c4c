#pragma once

#include <memory>
#include <string>

#include "browser/chromium/DevToolsConnection.h"
#include "webkit/WireRecording.h"

// The documents a page's tabs receive (its own and its frames'), handed to the process's
// WireRecorder as the browser received them. Each is paused once its response is in, its body
// taken from the browser, recorded, and let go on; the page cannot finish before its documents
// are recorded.
namespace document_recording {

using Json = DevToolsConnection::Json;

// The Fetch pattern that pauses documents at their responses.
Json Pattern();
// Whether a Fetch.requestPaused is a document at its response.
bool AtResponse(const Json& paused);
// Records the paused document with `recorder` (when there is one), then lets it go on.
void RecordThenContinue(DevToolsConnection& connection, const Json& paused,
                        const std::string& sessionId, const std::shared_ptr<WireRecorder>& recorder);
// The exchange of a paused document whose body the browser gave as `body` (nothing when it gave
// none). The browser has undone the transfer and content codings: the head says so, keeping
// what the server sent as X-Archive-Orig-* fields.
WireExchange Exchange(const Json& paused, const std::optional<std::string>& body);

} // namespace document_recording
