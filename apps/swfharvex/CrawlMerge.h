#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

// `swfharvex crawl --merge DIR STATE…`: what the workers of a shared crawl kept, made one. DIR
// holds every worker's WARC files; each STATE is a worker's state folder. Writes DIR/index.cdxj
// (every whole record, a page or movie that two workers fetched with the same bytes once),
// DIR/mirror/ (every worker's movies and what they load, in one layout) and
// DIR/mirror/manifest.json (a movie once, whoever caught it). Answers the exit status.
int MergeCrawls(const std::filesystem::path& folder,
                const std::vector<std::filesystem::path>& states, bool json, std::ostream& out,
                std::ostream& err);
