#pragma once
// One sparse row: (key, value) pairs in one contiguous array, strictly ascending
// by key. A sparse matrix is a std::vector of rows, one per point; an absent key
// means 0. Rows never drop entries by themselves; a stored 0 is allowed.

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vel {
namespace data {

template <typename Key, typename Value>
class MapMemEff {
public:
    using key_type = Key;
    using mapped_type = Value;
    using value_type = std::pair<Key, Value>;
    using container_type = std::vector<value_type>;
    using iterator = typename container_type::iterator;
    using const_iterator = typename container_type::const_iterator;
    using size_type = typename container_type::size_type;

    // Reference to the value of `key`, inserting (key, 0) at its sorted place when
    // absent. The reference is valid until the next insertion into this row.
    Value& operator[](Key key) {
        if (_data.empty()) {
            _data.emplace_back(key, Value(0));
            return _data.back().second;
        }
        std::int32_t lo = 0;
        std::int32_t hi = static_cast<std::int32_t>(_data.size()) - 1;
        std::int32_t mid = 0;
        while (lo <= hi) {
            mid = static_cast<std::int32_t>((static_cast<std::int64_t>(lo) + hi) / 2);
            const Key stored = _data[mid].first;
            if (stored == key) return _data[mid].second;
            if (stored < key)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        const std::int32_t pos = (_data[mid].first < key) ? mid + 1 : mid;
        return _data.insert(_data.begin() + pos, value_type(key, Value(0)))->second;
    }

    // Fills an empty row from a range of pairs in strictly ascending key order,
    // keeping the pairs whose value is strictly greater than `threshold`. The order
    // is checked over the whole range before anything is stored.
    template <typename InputIt>
    void initialize(InputIt first, InputIt last, Value threshold) {
        if (!_data.empty()) throw std::logic_error("MapMemEff::initialize: map is not empty");
        if (first == last) return;
        size_type kept = 0;
        bool hasPrevious = false;
        Key previous = Key();
        for (InputIt it = first; it != last; ++it) {
            const Key key = static_cast<Key>(it->first);
            if (hasPrevious && !(previous < key))
                throw std::logic_error("MapHelpers::initialize: input data is not ordered");
            previous = key;
            hasPrevious = true;
            if (static_cast<Value>(it->second) > threshold) ++kept;
        }
        _data.reserve(kept);
        for (InputIt it = first; it != last; ++it) {
            if (static_cast<Value>(it->second) > threshold)
                _data.emplace_back(static_cast<Key>(it->first), static_cast<Value>(it->second));
        }
    }

    // Read-only lookup without insertion; end() when absent.
    const_iterator find(Key key) const {
        std::int64_t lo = 0;
        std::int64_t hi = static_cast<std::int64_t>(_data.size()) - 1;
        while (lo <= hi) {
            const std::int64_t mid = (lo + hi) / 2;
            const Key stored = _data[mid].first;
            if (stored == key) return _data.begin() + mid;
            if (stored < key)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return _data.end();
    }
    size_type count(Key key) const { return find(key) == _data.end() ? 0 : 1; }

    iterator begin() { return _data.begin(); }
    iterator end() { return _data.end(); }
    const_iterator begin() const { return _data.begin(); }
    const_iterator end() const { return _data.end(); }
    size_type size() const { return _data.size(); }
    bool empty() const { return _data.empty(); }
    void clear() { _data.clear(); }
    void reserve(size_type n) { _data.reserve(n); }
    size_type capacity() const { return _data.capacity(); }
    void shrink_to_fit() { _data.shrink_to_fit(); }
    const container_type& memory() const { return _data; }

private:
    container_type _data;
};

}  // namespace data
}  // namespace vel
