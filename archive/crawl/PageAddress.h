#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/URL.h"

// What counts as the same page in a crawl: an http or https address with its scheme and host in
// lower case, without the scheme's default port, without a fragment, its dot segments resolved,
// an empty path written "/", and every percent escape in upper case ("%7e" is "%7E"). Nothing
// else is changed: a query's order and "%7E" against "~" stay as the server may tell them apart.
namespace page_address {

// The one spelling of `text` (resolved against `base` when given); none for what is not an http
// or https address.
std::optional<std::string> Normalised(std::string_view text, const URL* base = nullptr);

} // namespace page_address
