#pragma once
// A dense row over a fixed number of columns for summing sparse contributions:
// add to any column in any order, read the touched columns in increasing order,
// and clear at the cost of the columns touched rather than of the whole row.
// Sums in one column are taken in the order of the calls, so a caller that adds
// in a fixed order gets the same bits whatever else the row held before.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vel {
namespace dr {

template <typename T>
class ScratchRow {
public:
    explicit ScratchRow(std::size_t columns) : _values(columns, T(0)), _reached(columns, 0) {}

    // column must be below the column count.
    void add(unsigned int column, T value) {
        if (!_reached[column]) {
            _reached[column] = 1;
            _touched.push_back(column);
        }
        _values[column] += value;
    }
    // The columns added to since the last clear, in increasing order.
    const std::vector<unsigned int>& sortedColumns() {
        std::sort(_touched.begin(), _touched.end());
        return _touched;
    }
    T operator[](unsigned int column) const { return _values[column]; }
    void clear() {
        for (unsigned int column : _touched) {
            _values[column] = T(0);
            _reached[column] = 0;
        }
        _touched.clear();
    }

private:
    std::vector<T> _values;
    std::vector<unsigned char> _reached;
    std::vector<unsigned int> _touched;
};

}  // namespace dr
}  // namespace vel
