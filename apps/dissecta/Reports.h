#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "Dissection.h"

// The three forms of a dissection. Each holds the same facts in the same order.

void WriteTextReport(const Dissection& dissection, std::ostream& out);
nlohmann::json JsonReport(const Dissection& dissection);
// A whole page that needs nothing from outside: styles inline, no scripts, no links that load.
std::string HtmlReport(const Dissection& dissection);
