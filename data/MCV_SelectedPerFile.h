#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// Per file, how many distinct events of a point set a selection holds: the
// selected events of the point set, whatever else the selection holds.
//
// One pass over the selection marks its events in a mask of one byte per
// loaded event, one pass over the point set counts the marked events, and a
// mark is spent when counted, so an event that either list names twice counts
// once. A pass over the selection clears the marks again; the mask is kept
// between counts, so a count costs the two lists' lengths, not the data
// set's size, and allocates nothing while the data set keeps its size.
// Pairs that name no event of `eventsPerFile` (a file or event index out of
// range) count nowhere.
class MCV_SelectedPerFile {
public:
    // One count per entry of `eventsPerFile` (the events file f has).
    std::vector<int> count(const std::vector<std::pair<int, int>>& points,
                           const std::vector<std::pair<int, int>>& selection, const std::vector<int>& eventsPerFile);

private:
    // The mask position of `p`, or npos when it names no event.
    size_t position(const std::pair<int, int>& p) const;

    static constexpr size_t npos = static_cast<size_t>(-1);
    std::vector<size_t> m_offsets;  // file f's first position; one past the last at the end
    std::vector<unsigned char> m_mask;
};
