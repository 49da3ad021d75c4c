#pragma once

#include <ostream>

#include "Dissection.h"

// The three forms of a dissection. Each holds the same facts, and each is written as it goes:
// a movie of a million tags never has its whole report in memory.

void WriteTextReport(const Dissection& dissection, std::ostream& out);
void WriteJsonReport(const Dissection& dissection, std::ostream& out);
// A whole page that needs nothing from outside: styles inline, no scripts, no links that load.
void WriteHtmlReport(const Dissection& dissection, std::ostream& out);
