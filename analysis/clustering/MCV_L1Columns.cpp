#include "analysis/clustering/MCV_L1Columns.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace {

constexpr size_t L = MCV_L1Columns<float>::kLanes;
static_assert(MCV_L1Columns<double>::kLanes == L, "one block width");

// The block loops. Each lane adds its markers in marker order; nothing is
// reassociated, so a lane's sum is the serial sum. Inlined into the clones
// below, which the loader picks by the processor (AVX2 where present).
template <typename T>
inline __attribute__((always_inline)) void blockSums(const T* block, size_t M, const T* q, T* acc) {
    for (size_t l = 0; l < L; ++l) acc[l] = T(0);
    for (size_t m = 0; m < M; ++m) {
        const T qm = q[m];
        const T* col = block + m * L;
#pragma omp simd
        for (size_t l = 0; l < L; ++l) acc[l] += std::fabs(col[l] - qm);
    }
}

template <typename T>
inline __attribute__((always_inline)) void sumsImpl(const T* data, size_t M, const T* q, size_t begin, size_t end,
                                                    T* out) {
    for (size_t b = begin / L; b * L < end; ++b) {
        alignas(64) T acc[L];
        blockSums(data + b * M * L, M, q, acc);
        const size_t first = std::max(begin, b * L), last = std::min(end, b * L + L);
        for (size_t e = first; e < last; ++e) out[e - begin] = acc[e - b * L];
    }
}

template <typename T>
inline __attribute__((always_inline)) void cappedImpl(const T* data, size_t M, const T* q, size_t begin, size_t end,
                                                      T* out, T limit, unsigned char* exceeded) {
    for (size_t b = begin / L; b * L < end; ++b) {
        alignas(64) T acc[L];
        alignas(64) T largest[L];
        // No difference yet, so even a negative limit is not exceeded until a
        // marker's difference is a number above it.
        for (size_t l = 0; l < L; ++l) {
            acc[l] = T(0);
            largest[l] = -std::numeric_limits<T>::infinity();
        }
        const T* block = data + b * M * L;
        for (size_t m = 0; m < M; ++m) {
            const T qm = q[m];
            const T* col = block + m * L;
#pragma omp simd
            for (size_t l = 0; l < L; ++l) {
                const T d = std::fabs(col[l] - qm);
                acc[l] += d;
                largest[l] = d > largest[l] ? d : largest[l];
            }
        }
        const size_t first = std::max(begin, b * L), last = std::min(end, b * L + L);
        for (size_t e = first; e < last; ++e) {
            out[e - begin] = acc[e - b * L];
            exceeded[e - begin] = largest[e - b * L] > limit ? 1 : 0;
        }
    }
}

template <typename T>
inline __attribute__((always_inline)) size_t countImpl(const T* data, size_t M, const T* q, size_t begin, size_t end,
                                                       T limit) {
    size_t count = 0;
    for (size_t b = begin / L; b * L < end; ++b) {
        alignas(64) T acc[L];
        blockSums(data + b * M * L, M, q, acc);
        const size_t first = std::max(begin, b * L), last = std::min(end, b * L + L);
        for (size_t e = first; e < last; ++e) count += limit >= acc[e - b * L] ? 1 : 0;
    }
    return count;
}

#define QLMRN_CLONES __attribute__((target_clones("avx2", "default")))

QLMRN_CLONES void sums(const float* d, size_t M, const float* q, size_t b, size_t e, float* o) {
    sumsImpl(d, M, q, b, e, o);
}
QLMRN_CLONES void sums(const double* d, size_t M, const double* q, size_t b, size_t e, double* o) {
    sumsImpl(d, M, q, b, e, o);
}
QLMRN_CLONES void capped(const float* d, size_t M, const float* q, size_t b, size_t e, float* o, float limit,
                         unsigned char* x) {
    cappedImpl(d, M, q, b, e, o, limit, x);
}
QLMRN_CLONES void capped(const double* d, size_t M, const double* q, size_t b, size_t e, double* o, double limit,
                         unsigned char* x) {
    cappedImpl(d, M, q, b, e, o, limit, x);
}
QLMRN_CLONES size_t count(const float* d, size_t M, const float* q, size_t b, size_t e, float limit) {
    return countImpl(d, M, q, b, e, limit);
}
QLMRN_CLONES size_t count(const double* d, size_t M, const double* q, size_t b, size_t e, double limit) {
    return countImpl(d, M, q, b, e, limit);
}

}  // namespace

template <typename T>
void MCV_L1Columns<T>::reset(size_t numMarkers) {
    m_markers = numMarkers;
    m_size = 0;
    m_data.clear();
}

template <typename T>
void MCV_L1Columns<T>::reserve(size_t events) {
    m_data.reserve((events + kLanes - 1) / kLanes * kLanes * m_markers);
}

template <typename T>
size_t MCV_L1Columns<T>::grow() {
    if (m_size % kLanes == 0) m_data.resize(m_data.size() + kLanes * m_markers, T(0));
    return m_size++;
}

template <typename T>
void MCV_L1Columns<T>::append(const T* values) {
    const size_t slot = grow();
    T* base = m_data.data() + (slot / kLanes) * m_markers * kLanes + slot % kLanes;
    for (size_t m = 0; m < m_markers; ++m) base[m * kLanes] = values[m];
}

template <typename T>
void MCV_L1Columns<T>::swapRemove(size_t i) {
    assert(i < m_size);
    const size_t last = m_size - 1;
    T* to = m_data.data() + (i / kLanes) * m_markers * kLanes + i % kLanes;
    T* from = m_data.data() + (last / kLanes) * m_markers * kLanes + last % kLanes;
    for (size_t m = 0; m < m_markers; ++m) {
        to[m * kLanes] = from[m * kLanes];
        from[m * kLanes] = T(0);
    }
    m_size = last;
    if (m_size % kLanes == 0) m_data.resize(m_data.size() - kLanes * m_markers);
}

template <typename T>
void MCV_L1Columns<T>::copyEvent(size_t event, T* out) const {
    assert(event < m_size);
    for (size_t m = 0; m < m_markers; ++m) out[m] = value(event, m);
}

template <typename T>
void MCV_L1Columns<T>::distances(const T* query, size_t begin, size_t end, T* out) const {
    assert(begin <= end && end <= m_size);
    if (begin < end) sums(m_data.data(), m_markers, query, begin, end, out);
}

template <typename T>
void MCV_L1Columns<T>::distances(const T* query, size_t begin, size_t end, T* out, T singleLimit,
                                 unsigned char* exceeded) const {
    assert(begin <= end && end <= m_size);
    if (begin < end) capped(m_data.data(), m_markers, query, begin, end, out, singleLimit, exceeded);
}

template <typename T>
size_t MCV_L1Columns<T>::countWithin(const T* query, size_t begin, size_t end, T limit) const {
    assert(begin <= end && end <= m_size);
    return begin < end ? count(m_data.data(), m_markers, query, begin, end, limit) : 0;
}

template <typename T>
T MCV_L1Columns<T>::pairDistance(const T* a, const T* b, size_t numMarkers) {
    bool exceeded = false;
    return pairDistance(a, b, numMarkers, std::numeric_limits<T>::infinity(), &exceeded);
}

template <typename T>
T MCV_L1Columns<T>::pairDistance(const T* a, const T* b, size_t numMarkers, T singleLimit, bool* exceeded) {
    MCV_L1Columns<T> one;
    one.reset(numMarkers);
    one.append(a);
    T out = T(0);
    unsigned char over = 0;
    one.distances(b, 0, 1, &out, singleLimit, &over);
    *exceeded = over != 0;
    return out;
}

template class MCV_L1Columns<float>;
template class MCV_L1Columns<double>;
