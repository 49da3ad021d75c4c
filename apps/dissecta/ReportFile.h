#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "foundation/Outcome.h"

// Writes a report to `path` as `write` produces it, through a staged file: the file appears
// whole or not at all, and an older report stays until the new one is complete. Creates the
// folder when missing.
Outcome<> WriteReportFile(const std::string& path, const std::function<void(std::ostream&)>& write);
