#pragma once

#include <string>

// Local paths made fit for the browser page to use as URLs. Two stages: characters that would
// break a URL become upper-case escapes (the caller's string holds that first stage afterwards),
// then every byte of a non-ASCII character becomes a lower-case escape. Nothing is ever decoded,
// and "%" is left alone, so a path that already holds escapes keeps them as they are.

// The window's `convertString:`: the whole escape table, then the non-ASCII bytes.
std::string convertString(std::string& path);

// The form the window's pages are loaded with: spaces only, then the non-ASCII bytes.
std::string EscapePagePath(std::string& path);
