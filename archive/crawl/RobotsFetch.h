#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "crawl/RobotsRules.h"

// The robots.txt of `origin` ("http://host:port") for the crawler `agent`, as RFC 9309 (2.3.1)
// says to take it: its rules when it is there (its first RobotsRules::kMostBytes read, up to five
// redirects followed); everything allowed when it is not (a 4xx answer); nothing allowed when it
// cannot be had (a 5xx answer, no answer within `timeout`). Blocks: for a worker thread.
RobotsRules FetchRobots(const std::string& origin, std::string_view agent,
                        std::chrono::milliseconds timeout);
