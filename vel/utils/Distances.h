#pragma once
// Euclidean distances over ranges. The first range sets the length; the end of
// the second range is not consulted. Differences are taken in the element type,
// squared and summed in double; the result is returned in the element type.

#include <cmath>
#include <vector>

namespace vel {
namespace utils {

template <typename T>
T euclideanDistanceSquared(const T* aBegin, const T* aEnd, const T* bBegin, const T* /*bEnd*/) {
    double sum = 0;
    for (; aBegin != aEnd; ++aBegin, ++bBegin) {
        const T diff = *aBegin - *bBegin;
        sum += static_cast<double>(diff) * static_cast<double>(diff);
    }
    return static_cast<T>(sum);
}

template <typename T>
T euclideanDistanceSquared(typename std::vector<T>::const_iterator aBegin, typename std::vector<T>::const_iterator aEnd,
                           typename std::vector<T>::const_iterator bBegin,
                           typename std::vector<T>::const_iterator bEnd) {
    if (aBegin == aEnd) return T(0);
    return euclideanDistanceSquared<T>(&*aBegin, &*aBegin + (aEnd - aBegin), &*bBegin, &*bEnd);
}

template <typename T>
T euclideanDistanceSquared(const std::vector<T>& a, const std::vector<T>& b) {
    return euclideanDistanceSquared<T>(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
}

template <typename T>
T euclideanDistance(const T* aBegin, const T* aEnd, const T* bBegin, const T* bEnd) {
    return static_cast<T>(std::sqrt(static_cast<double>(euclideanDistanceSquared<T>(aBegin, aEnd, bBegin, bEnd))));
}

template <typename T>
T euclideanDistance(typename std::vector<T>::const_iterator aBegin, typename std::vector<T>::const_iterator aEnd,
                    typename std::vector<T>::const_iterator bBegin, typename std::vector<T>::const_iterator bEnd) {
    return static_cast<T>(std::sqrt(static_cast<double>(euclideanDistanceSquared<T>(aBegin, aEnd, bBegin, bEnd))));
}

template <typename T>
T euclideanDistance(const std::vector<T>& a, const std::vector<T>& b) {
    return static_cast<T>(std::sqrt(static_cast<double>(euclideanDistanceSquared<T>(a, b))));
}

}  // namespace utils
}  // namespace vel
