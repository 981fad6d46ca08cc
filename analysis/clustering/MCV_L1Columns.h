#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

// The one L1 (Manhattan) distance kernel of the clustering analyses (SPADE
// densities, its nearest-neighbour sample, the dendrogram, up-sampling and
// template matching).
//
// It holds a compact copy of some columns of event rows: events in blocks of
// kLanes, marker-major inside a block, so a distance loop runs across the
// events of a block in SIMD lanes while each lane adds its markers one after
// the other in marker order. Every distance is therefore exactly the serial
// sum, in T, of |event[m] - query[m]| for m = 0, 1, ...: the same bits as a
// plain loop. Lanes past size() in the last block hold zeros.
//
// T is float (the analyses' event values) or double (the dendrogram's
// coordinates). Not thread-safe for writes; const calls may run in parallel.
template <typename T>
class MCV_L1Columns {
public:
    static constexpr size_t kLanes = 16;

    // Empties the store and fixes the number of values per event.
    void reset(size_t numMarkers);
    void reserve(size_t events);
    // Appends one event: `values` holds numMarkers() values in marker order.
    void append(const T* values);
    // Appends one event taken from a row: value m is row[columns[m]].
    template <typename Src>
    void appendRow(const Src* row, const unsigned* columns) {
        const size_t slot = grow();
        T* base = m_data.data() + (slot / kLanes) * m_markers * kLanes + slot % kLanes;
        for (size_t m = 0; m < m_markers; ++m) base[m * kLanes] = static_cast<T>(row[columns[m]]);
    }
    // Removes event i; the last event takes its place.
    void swapRemove(size_t i);

    size_t size() const { return m_size; }
    size_t numMarkers() const { return m_markers; }
    T value(size_t event, size_t marker) const {
        return m_data[(event / kLanes) * m_markers * kLanes + marker * kLanes + event % kLanes];
    }
    void copyEvent(size_t event, T* out) const;

    // out[k] = L1 distance of event begin + k to `query` (numMarkers values),
    // for begin <= begin + k < end <= size().
    void distances(const T* query, size_t begin, size_t end, T* out) const;
    // The same, and exceeded[k] = 1 when some |event[m] - query[m]| is greater
    // than `singleLimit` (0 otherwise; NaN differences never exceed).
    void distances(const T* query, size_t begin, size_t end, T* out, T singleLimit, unsigned char* exceeded) const;
    // The number of events j in [begin, end) with limit >= distance(j, query).
    size_t countWithin(const T* query, size_t begin, size_t end, T limit) const;

    // The distance between two single profiles of `numMarkers` values, as the
    // loops above give it (same bits), for callers that measure one pair.
    static T pairDistance(const T* a, const T* b, size_t numMarkers);
    // The same, and whether some |a[m] - b[m]| is greater than `singleLimit`.
    static T pairDistance(const T* a, const T* b, size_t numMarkers, T singleLimit, bool* exceeded);
    // The same between two rows over the listed columns, in list order (a
    // negative column is a caller's error and is left out).
    template <typename Index>
    static T rowDistance(const T* a, const T* b, const std::vector<Index>& columns, T singleLimit, bool* exceeded) {
        std::vector<T> x, y;
        x.reserve(columns.size());
        y.reserve(columns.size());
        for (Index c : columns) {
            assert(!(c < Index(0)));
            if (c < Index(0)) continue;
            x.push_back(a[static_cast<size_t>(c)]);
            y.push_back(b[static_cast<size_t>(c)]);
        }
        return pairDistance(x.data(), y.data(), x.size(), singleLimit, exceeded);
    }

private:
    // Makes room for one more event (zeroed) and returns its index.
    size_t grow();

    size_t m_markers = 0;
    size_t m_size = 0;
    std::vector<T> m_data;
};

extern template class MCV_L1Columns<float>;
extern template class MCV_L1Columns<double>;
