#pragma once

#include <string>
#include <vector>

#include "foundation/Outcome.h"

// Starts argv[0] (an absolute path) with the arguments, detached: in a session of its own,
// standard input from /dev/null, no inherited descriptors beyond standard output and error,
// reparented so that it never becomes our zombie. No shell sees the arguments. Done when the
// program was started (its exec succeeded), else a Failure naming the program and the reason;
// whether it then does its job is its own business.
Outcome<> LaunchDetached(const std::vector<std::string>& argv);
