#pragma once
// The landmark assignment of one data point: on every scale above 0 the
// landmark of greatest influence on it (of equals the lowest index; -1 where
// none reaches it).
//
// The influence is chained as HierarchicalSNE::getInfluenceOnDataPoint chains
// it without normalising: scale 1 is the point's area of influence, and scale
// s sums area_s[a] x w over the landmarks a of scale s - 1 in increasing
// order whose weight w is at least the threshold. The threshold starts at
// 0.01 and is lowered tenfold, up to three times, while some scale is left
// empty. The same sums are taken in the same order, so the choice is the same
// bit for bit; the rows are dense and reused, which spares a hash map per
// scale and point.

#include "vel/data/MapMemEff.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/ScratchRow.h"

#include <utility>
#include <vector>

class MCV_MostInfluentialLandmarks {
public:
    using Hsne = vel::dr::HierarchicalSNE<float, std::vector<vel::data::MapMemEff<unsigned int, float>>>;

    // One object per thread: it holds a row as long as each scale. The
    // hierarchy must outlive it and stay unchanged.
    explicit MCV_MostInfluentialLandmarks(const Hsne& hsne);

    // Writes the landmark of every scale s >= 1 to chosen[s] (chosen[0] is left
    // as it is); chosen holds one entry per scale. p must be a point of scale 0.
    void find(unsigned int p, int* chosen);

private:
    // Fills the rows for the threshold; false when some scale stays empty.
    bool chain(unsigned int p, float threshold);

    const Hsne& m_hsne;
    std::vector<vel::dr::ScratchRow<float>> m_rows;
    std::vector<std::pair<unsigned int, float>> m_previous;
};
