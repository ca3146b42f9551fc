// The activity list's content without any widget: time-stamped, escaped event lines, newest
// last, at most 200 (the oldest is dropped).
#pragma once

#include <cstdint>
#include <deque>
#include <string>

class CActivityList {
public:
    static constexpr std::size_t kMaxLines = 200;

    // Appends "<%Y-%m-%d %H:%M:%S> : <escaped text>" and returns the line as shown.
    const std::string& Add(const std::string& text, std::int64_t now);

    const std::deque<std::string>& Lines() const { return m_lines; }

    // The index of the line to show at the top so that the newest lines are in view.
    int TopIndex(int visibleLines) const;

private:
    std::deque<std::string> m_lines;
};
