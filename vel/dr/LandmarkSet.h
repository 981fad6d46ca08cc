#pragma once
// Landmarks reached from one landmark, given back in increasing order: a bitmap
// over the scale and a summary bit per word of it, so that finding and clearing
// them costs their number plus L / 4096, not a sort.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vel {
namespace dr {

class LandmarkSet {
public:
    explicit LandmarkSet(unsigned int L) : _words((L + 63) / 64 + 1, 0), _summary(_words.size() / 64 + 1, 0) {}
    // b must be below L.
    void insert(unsigned int b) {
        _words[b >> 6] |= std::uint64_t(1) << (b & 63);
        _summary[b >> 12] |= std::uint64_t(1) << ((b >> 6) & 63);
    }
    // The members in increasing order into out (replacing its contents); the set is empty afterwards.
    void drainInto(std::vector<unsigned int>& out) {
        out.clear();
        for (std::size_t s = 0; s < _summary.size(); ++s) {
            std::uint64_t words = _summary[s];
            _summary[s] = 0;
            while (words != 0) {
                const std::size_t w = s * 64 + static_cast<std::size_t>(__builtin_ctzll(words));
                words &= words - 1;
                std::uint64_t bits = _words[w];
                _words[w] = 0;
                while (bits != 0) {
                    out.push_back(static_cast<unsigned int>(w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))));
                    bits &= bits - 1;
                }
            }
        }
    }

private:
    std::vector<std::uint64_t> _words;
    std::vector<std::uint64_t> _summary;
};

}  // namespace dr
}  // namespace vel
