#pragma once

#include <string>
#include <vector>

// Starts argv[0] (an absolute path) with the arguments, detached: in a session of its own,
// standard input from /dev/null, no inherited descriptors beyond standard output and error,
// reparented so that it never becomes our zombie. No shell sees the arguments. True when the
// program was started (its exec succeeded); whether it then does its job is its own business.
bool LaunchDetached(const std::vector<std::string>& argv);
