#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// Reading WARC files back with an independent reader (warcio, through read_warc.mjs).
namespace warc_read_back {

// What a command prints on its standard output.
inline std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) {
        out.append(buffer, got);
    }
    pclose(pipe);
    return out;
}

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        if (end > start) {
            const std::string line = text.substr(start, end - start);
            nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
            lines.push_back(parsed.is_discarded() ? nlohmann::json(line) : std::move(parsed));
        }
        start = end + 1;
    }
    return lines;
}

inline std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Every record of `files` as warcio reads it (see read_warc.mjs); a line that is not JSON is
// warcio's complaint, kept as a JSON string so a test shows it.
inline std::vector<nlohmann::json> Records(const std::filesystem::path& reader,
                                           const std::filesystem::path& modules,
                                           const std::vector<std::filesystem::path>& files) {
    std::string command = "node " + Quoted(reader) + " " + Quoted(modules);
    for (const std::filesystem::path& file : files) {
        command += " " + Quoted(file);
    }
    return JsonLines(Output(command + " 2>&1"));
}

} // namespace warc_read_back
