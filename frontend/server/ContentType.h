#pragma once

#include <string>

// The content type a served file goes out with, by its extension (any case). Unknown kinds are
// plain bytes, so that a browser never guesses an unknown file into a script or a page.
std::string ContentTypeForPath(const std::string& path);
