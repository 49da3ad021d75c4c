#pragma once

#include <string>
#include <string_view>

// A page's character set, as a browser of the time found it and used it: for reading the page,
// and for writing the query of the URLs it holds.
namespace page_charset {

// The iconv name of the set the page declares: its Content-Type header's charset, else the first
// <meta> in its first 1024 bytes that names one; "UTF-8" when neither does. Labels browsers read
// as windows-1252 (latin1, iso-8859-1, us-ascii) become it.
std::string Declared(std::string_view contentType, std::string_view body);

// The page's bytes as UTF-8, what the parser reads. A byte the set cannot decode becomes U+FFFD;
// a set iconv does not know leaves the bytes as they are.
std::string ToUTF8(std::string_view bytes, const std::string& charset);

// URL text (UTF-8) with its query written in the page's set, as browsers send it; the path stays
// UTF-8. A character the set cannot hold becomes "&#N;" (escaped), as browsers write it.
std::string QueryInCharset(std::string_view urlText, const std::string& charset);

} // namespace page_charset
