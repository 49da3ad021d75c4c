#pragma once

#include <ostream>

// Redraws one line per running download (name, bytes, percent, rate) in place on a terminal.
class ProgressDisplay {
public:
    explicit ProgressDisplay(std::ostream& terminal) : m_terminal(terminal) {}
    ~ProgressDisplay() { Clear(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;
    ProgressDisplay(ProgressDisplay&&) = delete;
    ProgressDisplay& operator=(ProgressDisplay&&) = delete;

    void Redraw();
    void Clear();

private:
    std::ostream& m_terminal;
    size_t m_linesShown = 0;
};
