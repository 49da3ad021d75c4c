#pragma once

#include <cstddef>
#include <ostream>

#include "Dissection.h"

// The three forms of a dissection. Each holds the same facts, and each is written as it goes:
// a movie of a million tags never has its whole report in memory.

// What a report lists, however much the movie holds: a movie of a few megabytes must not make a
// report of hundreds. Each list gives its first rows, and where it is cut a line says how many
// rows are left out and where the list stops. Every form lists the same rows.
namespace ReportBounds {
inline constexpr size_t kMostTagRows = 50'000;
inline constexpr size_t kMostReferenceRows = 10'000;
// The listed references' texts and places together, before any escaping.
inline constexpr size_t kMostReferenceBytes = size_t{1} << 20;
// What those keep every form under, escaping (at most six bytes for one) included.
inline constexpr size_t kMostReportBytes = size_t{16} << 20;
} // namespace ReportBounds

void WriteTextReport(const Dissection& dissection, std::ostream& out);
void WriteJsonReport(const Dissection& dissection, std::ostream& out);
// A whole page that needs nothing from outside: styles inline, no scripts, no links that load.
void WriteHtmlReport(const Dissection& dissection, std::ostream& out);
