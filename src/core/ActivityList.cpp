#include "core/ActivityList.h"

#include "core/Format.h"

const std::string& CActivityList::Add(const std::string& text, std::int64_t now) {
    m_lines.push_back(FormatLocalTime(now, "%Y-%m-%d %H:%M:%S : ") + EscapeText(text));
    while (m_lines.size() > kMaxLines) {
        m_lines.pop_front();
    }
    return m_lines.back();
}

int CActivityList::TopIndex(int visibleLines) const {
    const int top = static_cast<int>(m_lines.size()) - visibleLines;
    return top < 0 ? 0 : top;
}
