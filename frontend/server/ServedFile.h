#pragma once

#include <string>

#include "ServedFolder.h"
#include "foundation/Outcome.h"

namespace httplib {
struct Response;
} // namespace httplib

// Answers `response` with the file `relative` names in `folder`, streamed. The pages are given
// escaped paths in which "%" itself is never escaped, so a name asked for may be the file's own
// name ("my%20movie.swf", as caught) or its escaped form ("a%281%29.swf" for "a(1).swf"): the
// name as it is comes first. The answer is the content type sent; a failure says why the file
// cannot be served, for the caller's refusal.
Outcome<std::string> ServeFolderFile(const ServedFolder& folder, const std::string& relative,
                                     httplib::Response& response);
