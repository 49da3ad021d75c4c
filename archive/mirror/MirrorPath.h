#pragma once

#include <string>

#include "foundation/Outcome.h"
#include "foundation/URL.h"

// Where an address lives in the mirror, relative to its root: HOST/PATH, the host in lower case
// with its port when not the scheme's default ("example.com:8080"), the path's segments as the
// address writes them (still percent-encoded). A query goes into the file name after a "?", its
// "%" and "/" written "%25" and "%2F", so the name turns back into the address; a path that ends
// in "/" has a name that starts with "?". The fragment is dropped: servers never see it.
//
// Refused, naming the address: anything but http and https, and a path the mirror would have to
// leave its folder for (".", "..", an empty segment) or a file system cannot hold (a segment over
// 255 bytes).
Outcome<std::string> MirrorPath(const URL& address);
