#include "analysis/hsne/MCV_MostInfluentialLandmarks.h"

#include <cassert>

MCV_MostInfluentialLandmarks::MCV_MostInfluentialLandmarks(const Hsne& hsne) : m_hsne(hsne) {
    const unsigned int scales = static_cast<unsigned int>(hsne.hierarchy().size());
    m_rows.reserve(scales);
    for (unsigned int s = 0; s < scales; ++s) m_rows.emplace_back(s == 0 ? 0 : hsne.scale(s).size());
}

bool MCV_MostInfluentialLandmarks::chain(unsigned int p, float threshold) {
    const unsigned int scales = static_cast<unsigned int>(m_rows.size());
    for (auto& row : m_rows) row.clear();
    if (scales < 2) return true;
    const auto& first = m_hsne.scale(1).areaOfInfluence;
    assert(p < first.size());
    for (const auto& [b, v] : first[p]) m_rows[1].add(b, v);
    bool someEmpty = first[p].empty();
    for (unsigned int s = 2; s < scales; ++s) {
        const auto& area = m_hsne.scale(s).areaOfInfluence;
        m_previous.clear();
        for (unsigned int a : m_rows[s - 1].sortedColumns()) m_previous.emplace_back(a, m_rows[s - 1][a]);
        bool reached = false;
        for (const auto& [a, w] : m_previous) {
            if (!(w >= threshold)) continue;
            assert(a < area.size());
            for (const auto& [b, v] : area[a]) {
                m_rows[s].add(b, v * w);
                reached = true;
            }
        }
        someEmpty = someEmpty || !reached;
    }
    return !someEmpty;
}

void MCV_MostInfluentialLandmarks::find(unsigned int p, int* chosen) {
    float threshold = 0.01f;
    for (int attempt = 0; !chain(p, threshold) && attempt < 3; ++attempt)
        threshold = static_cast<float>(static_cast<double>(threshold) * 0.1);
    for (unsigned int s = 1; s < m_rows.size(); ++s) {
        float best = -1.f;
        int bestLandmark = -1;
        // Increasing order: of equal values the first, the lowest index, stays.
        for (unsigned int l : m_rows[s].sortedColumns()) {
            if (m_rows[s][l] > best) {
                best = m_rows[s][l];
                bestLandmark = static_cast<int>(l);
            }
        }
        chosen[s] = bestLandmark;
    }
}
