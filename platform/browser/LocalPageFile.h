#pragma once

#include <optional>
#include <string>

#include "foundation/URL.h"

// The rule every page engine applies to a file page before reading it: only a regular file is a
// page. A FIFO, socket or device would make a reader wait for ever (or read without end), past
// any time limit, and a folder is no document.
namespace local_page_file {

// Why the file a "file:" URL names cannot be read as a page, naming its path; none when it can,
// and none when it does not exist or cannot be looked at (the reader then says what is wrong).
// Asked without opening it.
std::optional<std::string> WhyNotAPage(const URL& url);

} // namespace local_page_file
