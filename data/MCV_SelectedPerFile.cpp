#include "MCV_SelectedPerFile.h"

#include <algorithm>

namespace {
enum Mark : unsigned char { Unmarked = 0, Selected = 1, Counted = 2 };
}

size_t MCV_SelectedPerFile::position(const std::pair<int, int>& p) const {
    if (p.first < 0 || p.second < 0 || static_cast<size_t>(p.first) + 1 >= m_offsets.size()) return npos;
    const size_t at = m_offsets[static_cast<size_t>(p.first)] + static_cast<size_t>(p.second);
    return at < m_offsets[static_cast<size_t>(p.first) + 1] ? at : npos;
}

std::vector<int> MCV_SelectedPerFile::count(const std::vector<std::pair<int, int>>& points,
                                            const std::vector<std::pair<int, int>>& selection,
                                            const std::vector<int>& eventsPerFile) {
    m_offsets.assign(1, 0);
    for (int n : eventsPerFile) m_offsets.push_back(m_offsets.back() + static_cast<size_t>(std::max(0, n)));
    // Every mark is cleared after each count: only a new size needs a fill.
    if (m_mask.size() != m_offsets.back()) m_mask.assign(m_offsets.back(), Unmarked);

    for (const auto& p : selection) {
        const size_t at = position(p);
        if (at != npos) m_mask[at] = Selected;
    }
    std::vector<int> counts(eventsPerFile.size(), 0);
    for (const auto& p : points) {
        const size_t at = position(p);
        if (at == npos || m_mask[at] != Selected) continue;
        m_mask[at] = Counted;
        ++counts[static_cast<size_t>(p.first)];
    }
    for (const auto& p : selection) {
        const size_t at = position(p);
        if (at != npos) m_mask[at] = Unmarked;
    }
    return counts;
}
