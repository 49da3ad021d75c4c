#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/Outcome.h"
#include "warc/WarcWriter.h"

// The CDXJ index beside WARC files: one line per response record, "SURT TIMESTAMP {json}", sorted,
// as replay tools (pywb, warcio) read and write it.
namespace cdxj {

// The address in Sort-friendly URI Reordering Transform form, as those tools key it: lower case,
// no scheme, a leading "www" (with digits) dropped, the host's labels reversed and joined by
// commas, the port when it is not the scheme's, ")", the path, and the query's parts sorted.
// Something that is not an http(s) address stays as it is.
std::string Surt(const std::string& address);

// The line for a response record written at `location`.
std::string Line(const WarcExchange& exchange, const WarcLocation& location);

// Writes the lines sorted, replacing the index whole.
Outcome<> Write(const std::filesystem::path& path, std::vector<std::string> lines);

} // namespace cdxj
