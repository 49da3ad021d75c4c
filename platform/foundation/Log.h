#pragma once

#include <string>
#include <string_view>
#include <vector>

// Writes one line to standard error, as the system log does, and hands it to every live
// LogCapture. The line goes out in a single write so that lines from several threads never mix.
void NSLog(std::string_view line);

// Collects every line logged while it is alive, so that tests can check exact log output.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    LogCapture(LogCapture&&) = delete;
    LogCapture& operator=(LogCapture&&) = delete;

    std::vector<std::string> Lines() const;

private:
    friend void NSLog(std::string_view line);
    std::vector<std::string> m_lines; // guarded by the log's registry lock
};
