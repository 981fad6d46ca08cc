#pragma once
// Hierarchies, files and checks shared by the hierarchy tests.

#include <functional>
#include <sstream>
#include <stdexcept>

#include "vel/VelTestData.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/HierarchyIO.h"

namespace hsnetest {

using Hsne = vel::dr::HierarchicalSNE<float, veltest::SparseMatrix>;
using Values = std::map<unsigned int, float>;

#ifdef __SANITIZE_ADDRESS__  // the large cases run on a quarter of their points
constexpr unsigned int kShrink = 4;
#else
constexpr unsigned int kShrink = 1;
#endif

inline veltest::SparseMatrix rows(const std::vector<Values>& values) {
    veltest::SparseMatrix m(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) m[i].initialize(values[i].begin(), values[i].end(), -1.f);
    return m;
}

// Message lines and progress lines, each ended by a line feed.
struct Lines : vel::utils::AbstractLog {
    std::string text, progress;
    void clear() override { text.clear(), progress.clear(); }
    void display(const std::string& line, bool isProgress) override { (isProgress ? progress : text) += line + "\n"; }
};

// The message of the std::logic_error that `call` throws, or "no error".
inline std::string thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "no error";
}

// Four points; scale 1 keeps 0 and 3 (3's zero share of 0 stored), scale 2 both.
inline Hsne threeScales(const std::vector<Values>& top = {{{0, .6f}, {1, .4f}}, {{0, .2f}, {1, .8f}}}) {
    Hsne h;
    h.initialize(rows({{{1, 1.f}}, {{0, 1.f}}, {{3, 1.f}}, {{2, 1.f}}}));
    h.hierarchy().resize(3);
    Hsne::Scale &s1 = h.scale(1), &s2 = h.scale(2);
    s1.landmarkToOriginalIdx = s1.landmarkToPreviousScaleIdx = s2.landmarkToOriginalIdx = {0, 3};
    s2.landmarkToPreviousScaleIdx = {0, 1};
    s1.previousScaleToLandmarkIdx = {0, -1, -1, 1};
    s2.previousScaleToLandmarkIdx = {0, 1};
    s1.landmarkWeight = s2.landmarkWeight = {2.25f, 1.75f};
    s1.transitionMatrix = s2.transitionMatrix = rows({{{1, 1.f}}, {}});
    s1.areaOfInfluence = rows({{{0, 1.f}}, {{0, .75f}, {1, .25f}}, {{0, .5f}, {1, .5f}}, {{0, 0.f}, {1, 1.f}}});
    s2.areaOfInfluence = rows(top);
    return h;
}

inline std::string saved(const Hsne& h) {
    std::ostringstream out;
    vel::dr::IO::saveHSNE(h, static_cast<std::ostream&>(out), nullptr);
    return out.str();
}

// `scales` scales over the blobs (which must outlive them) from back end `library`, seed 42.
inline Hsne built(const veltest::Blobs& b, int library, bool preserving = false, std::size_t scales = 1,
                  vel::utils::AbstractLog* log = nullptr) {
    Hsne::Parameters p;
    std::tie(p.seed, p.knnLibrary, p.memoryPreserving) = std::make_tuple(42, library, preserving);
    Hsne h;
    h.setLogger(log);
    h.setDimensionality(static_cast<int>(b.dims));
    h.initialize(const_cast<float*>(b.data.data()), b.n, p);
    while (h.hierarchy().size() < scales) h.addScale();
    return h;
}

// Five well-separated blobs of 2,000 points in 20-D in three scales (Annoy), built once.
struct FiveBlobs {
    veltest::Blobs b = veltest::makeBlobs(5, 2000 / kShrink, 20, 10.0, 11);
    Hsne h = built(b, 1, false, 3);
};
inline const FiveBlobs& fiveBlobs() {
    static const FiveBlobs f;
    return f;
}

// Above scale 0: influence rows summing to at most 1, transition rows to 1 or 0.
inline void expectSound(const Hsne& h) {
    for (unsigned int s = 1; s < h.hierarchy().size(); ++s) {
        const Hsne::Scale& x = h.scale(s);
        ASSERT_EQ(x.transitionMatrix.size(), x.size());
        std::size_t faults = 0;
        for (std::size_t r = 0; r < x.size() + x.areaOfInfluence.size(); ++r) {
            const auto& row = r < x.size() ? x.transitionMatrix[r] : x.areaOfInfluence[r - x.size()];
            double sum = 0;
            for (const auto& [column, value] : row)
                sum += value, faults += column >= x.size() || !(value >= 0) || column == r;
            faults += r < x.size() ? !row.empty() && !(std::abs(sum - 1) < 1e-5) : !(sum < 1 + 1e-5);
        }
        EXPECT_EQ(faults, 0u) << "scale " << s;
    }
}

}  // namespace hsnetest
