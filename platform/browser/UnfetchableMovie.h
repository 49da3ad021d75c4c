#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "webkit/DownloadActivity.h"

// Plug-in objects whose address is no place a movie can be fetched from: inline data ("data:"),
// an object in the page's own memory ("blob:") or a script ("javascript:"). The host cannot hand
// such an address to the plug-in as a URL, so no plug-in ever refuses it; a movie among them is
// reported here instead, as the plug-in reports the movies it refuses.
namespace unfetchable_movie {

// The loss to report for a plug-in object with this address (as written) and MIME type, when the
// object is a movie at such an address: its type, or a "data:" address's own, is Flash's, or it
// names no type and its address a ".swf". None otherwise.
std::optional<DownloadActivity::Loss> LossFor(std::string_view urlText, std::string_view mimeType);

// The address as a message shows it: whole when short, else its start (never cut inside a
// character) and its length in bytes. A "data:" address may be megabytes long.
std::string Shortened(std::string_view address);

} // namespace unfetchable_movie
