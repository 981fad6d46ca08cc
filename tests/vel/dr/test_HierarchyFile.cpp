#include <atomic>
#include <cstring>
#include <limits>

#include "vel/dr/HierarchyTestData.h"

using namespace hsnetest;

namespace {

// While a load runs, every operator new of the process records the largest request.
std::atomic<bool> armed{false};
std::atomic<std::size_t> largest{0};

void load(Hsne& h, const std::string& bytes, vel::utils::AbstractLog* log = nullptr) {
    std::istringstream in(bytes);
    struct Armed {
        Armed() { largest = 0, armed = true; }
        ~Armed() { armed = false; }
    } during;
    vel::dr::IO::loadHSNE(h, static_cast<std::istream&>(in), log);
}

// `bytes` with the 4-byte field at `offset` replaced by `field`.
template <typename T>
std::string with(std::string bytes, std::size_t offset, T field) {
    std::memcpy(&bytes[offset], &field, 4);
    return bytes;
}

}  // namespace

// AddressSanitizer keeps its own allocator; elsewhere new and delete become
// malloc and free.
#ifndef __SANITIZE_ADDRESS__
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    for (std::size_t seen = largest; armed && size > seen && !largest.compare_exchange_weak(seen, size);) {}
    if (void* p = std::malloc(size > 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

// The 44-byte example; initialize(P) keeps P exactly; a loaded scale 0 is
// rebuilt; save, load and save again give the same bytes.
TEST(HierarchyFile, TwoPointExampleAndRoundTrips) {
    Hsne h, loaded;
    h.initialize(rows({{{1, 1.f}}, {{0, 1.f}}}));
    const std::uint32_t fields[] = {0, 0, 0x3f800000, 0x40000000, 2, 1, 1, 0x3f800000, 1, 0, 0x3f800000};
    EXPECT_EQ(saved(h), std::string(reinterpret_cast<const char*>(fields), sizeof fields));
    load(loaded, saved(h));
    EXPECT_TRUE(loaded.hierarchy().size() == 1 && loaded.scale(0).landmarkWeight == std::vector<float>(2, 1.f));
    EXPECT_EQ(loaded.scale(0).landmarkToPreviousScaleIdx, (std::vector<unsigned>{0, 1}));
    const auto P = rows({{{2, 0.3f}, {1, 0.9f}}, {}, {{0, 1e-30f}}});
    h.initialize(P);
    for (std::size_t r = 0; r < P.size(); ++r) EXPECT_EQ(h.scale(0).transitionMatrix.at(r).memory(), P[r].memory());

    const std::string bytes = saved(threeScales());
    load(loaded, bytes);
    EXPECT_EQ(saved(loaded), bytes);
    // -0.0 is a valid version word, and 2.5 scales are read as three.
    EXPECT_NO_THROW(load(loaded, with(with(bytes, 0, -0.f), 8, 2.5f)));
    EXPECT_EQ(loaded.hierarchy().size(), 3u);
}

// Each is refused, keeps the object's scales and allocates nothing larger than
// the file beyond the loader's own records of at most 64 scales.
TEST(HierarchyFile, DamagedFilesAreRefusedAndChangeNothing) {
    const std::string bytes = saved(threeScales());
    std::vector<std::string> bad;
    for (std::size_t n = 0; n < bytes.size(); ++n) bad.push_back(bytes.substr(0, n));
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float scales : {inf, 1e30f, 65.f, nan, 0.f, -1.f, 4.f}) bad.push_back(with(bytes, 8, scales));
    for (float size0 : {3.f, 5.f, -4.f, 4.5f, nan}) bad.push_back(with(bytes, 12, size0));
    for (std::size_t version : {0, 4}) bad.push_back(with(bytes, version, 1.f));
    std::mt19937 rng(15);
    for (std::size_t kept : {0, 8, 12, 16}) {  // random bytes after a valid start
        bad.push_back(bytes.substr(0, kept));
        while (bad.back().size() < 1024) bad.back() += static_cast<char>(rng());
    }
    // (offset, field): counts of scale 0's rows, of its first row's entries and of
    // scale 1's landmarks; a column of scale 0, a probability; in scale 1 a
    // transition column, an area-of-influence column, an original index, previous
    // indices beyond scale 0 or not a landmark, landmark indices that disagree or
    // are below -1, a weight.
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {16, ~0u}, {20, ~0u}, {92, ~0u}, {24, 4},  {28, 0x7f800000}, {80, 2},          {188, 5},
        {100, 4},  {108, 9},  {108, 2},  {140, 1}, {140, ~1u},       {120, 0x7fc00000}};
    for (const auto& [offset, field] : fields) bad.push_back(with(bytes, offset, field));
    for (int length = 0; length < 3; ++length) {  // lengths that disagree in scale 1
        Hsne damaged = threeScales();
        Hsne::Scale& s = damaged.scale(1);
        length == 0   ? s.previousScaleToLandmarkIdx.pop_back()
        : length == 1 ? s.landmarkWeight.pop_back()
                      : s.transitionMatrix.pop_back();
        bad.push_back(saved(damaged));
    }
    for (std::size_t i = 0; i < bad.size(); ++i) {
        Hsne target = threeScales();
        EXPECT_THROW(load(target, bad[i]), std::runtime_error) << "case " << i;
        EXPECT_LE(largest.load(), std::max(bad[i].size(), 64 * sizeof(Hsne::Scale))) << "case " << i;
        EXPECT_EQ(saved(target), bytes) << "case " << i;
    }
}
// A reader of the format's tables alone: 4-byte fields, the version words, the
// scale count and the sizes as floats, every count as uint32; a matrix is its
// row count, then per row an entry count and (column, value) pairs.
TEST(HierarchyFile, AReaderOfTheFormatParsesASavedHierarchy) {
    const Hsne& h = fiveBlobs().h;
    const std::string bytes = saved(h);
    const std::size_t N = fiveBlobs().b.n;
    const auto M = [](const veltest::SparseMatrix& m) {
        std::size_t size = 4 + 4 * m.size();
        for (const auto& row : m) size += 8 * row.size();
        return size;
    };
    std::size_t formula = 16 + M(h.scale(0).transitionMatrix), at = 0, faults = 0;
    for (unsigned int s = 1; s < 3; ++s)
        formula += 4 + M(h.scale(s).transitionMatrix) + 3 * (4 + 4 * h.scale(s).size()) + 4 +
                   4 * h.scale(s - 1).size() + M(h.scale(s).areaOfInfluence);
    EXPECT_EQ(bytes.size(), formula);

    std::vector<std::uint32_t> word(bytes.size() / 4);
    std::vector<float> real(word.size());
    std::memcpy(word.data(), bytes.data(), 4 * word.size());
    std::memcpy(real.data(), bytes.data(), 4 * word.size());
    const auto u32 = [&] { return at < word.size() ? word[at++] : 0u; };
    const auto f32 = [&] { return at < real.size() ? real[at++] : 0.f; };
    const auto matrix = [&](const veltest::SparseMatrix& m, std::size_t rows, std::uint32_t columns) {
        faults += u32() != rows || m.size() != rows;
        for (std::size_t r = 0; r < rows && at < word.size(); ++r) {
            const std::uint32_t entries = u32();
            faults += entries != m[r].size();
            for (std::uint32_t e = 0; e < entries; ++e) faults += u32() >= columns, faults += !std::isfinite(f32());
        }
    };
    const auto indices = [&](std::size_t n) {
        std::vector<std::uint32_t> v(u32() == n ? n : (++faults, 0));
        for (auto& x : v) x = u32();
        return v;
    };
    EXPECT_TRUE(f32() == 0 && f32() == 0 && f32() == 3.f && f32() == N);
    matrix(h.scale(0).transitionMatrix, N, N);
    for (std::size_t s = 1, previous = N; s < 3; previous = h.scale(s++).size()) {
        const auto L = static_cast<std::uint32_t>(f32());
        EXPECT_EQ(L, h.scale(s).size());
        matrix(h.scale(s).transitionMatrix, L, L);
        const auto original = indices(L), toPrevious = indices(L);
        faults += u32() != L;
        for (std::uint32_t l = 0; l < L; ++l) faults += !std::isfinite(f32());  // weights
        const auto toLandmark = indices(previous);
        matrix(h.scale(s).areaOfInfluence, previous, L);
        ASSERT_TRUE(L > 0 && original.size() == L && toPrevious.size() == L && toLandmark.size() == previous);
        for (std::uint32_t l = 0; l < L; ++l)
            faults += original[l] >= N || toPrevious[l] >= previous || toLandmark[toPrevious[l]] != l;
        faults += std::count(toLandmark.begin(), toLandmark.end(), ~0u) != static_cast<long>(previous - L);
    }
    EXPECT_EQ(faults, 0u);
    EXPECT_EQ(at, word.size());
}

TEST(HierarchicalSNE, QuotedTexts) {
    const std::string rule = std::string(62, '-') + "\n\n";
    const std::string head = "\n--------------- Hierarchical-SNE Statistics ------------------\n";
    const std::string each =
        "\t... transition matrix ...\n\t... landmarks to original data ...\n\t... landmarks to previous scale ...\n"
        "\t... landmark weights ...\n\t... previous scale to current scale landmarks ...\n\t... area of influence "
        "...\n";
    Hsne h = threeScales();
    Lines saving, loading, fresh, measured;
    load(h, saved(h, &saving), &loading);
    h = Hsne();
    h.statistics().log(&fresh);
    h.statistics().aoiSparsity = 0.25f;
    h.statistics().mcmcsTime = std::numeric_limits<float>::quiet_NaN();
    h.statistics().log(&measured);
    // Progress of the memory-preserving construction, only when verbose.
    const auto b = veltest::makeBlobs(1, 20, 2, 0.0, 3);
    const auto progress = [&](bool verbose) {
        Lines log;
        Hsne run = built(b, 1, true, 1, &log);
        if (verbose) run.setVerbose(true);
        run.addScale();
        return log.progress;
    };
    // Sizes are stored as floats, exact only up to 2^24 points.
    Hsne huge;
    huge.hierarchy().resize(1);
    huge.scale(0).landmarkToOriginalIdx.resize((1u << 24) + 1);
    std::ostringstream out;
    const std::pair<std::string, std::string> table[] = {
        {saving.text,
         "Saving H-SNE hierarchy to file\nSaving scale:\t0\n\tsize:\t4\n\t... transition matrix ...\nSaving "
         "scale:\t1\n\tsize:\t2\n" +
             each + "Saving scale:\t2\n\tsize:\t2\n" + each},
        {loading.text,
         "Loading H-SNE hierarchy from file\nLoading scale:\t0\n\tsize:\t4\n\t... transition matrix ...\n"
         "\t... (init) landmarks to original data ...\n\t... (init) landmarks to previous scale ...\n"
         "\t... (init) landmark weights ...\nLoading scale:\t1\n\tsize:\t2\n" +
             each + "Loading scale:\t2\n\tsize:\t2\n" + each},
        {fresh.text, head + "Total time:\t-1\n" + rule},
        {measured.text,
         head + "Total time:\t-1\n\tMarkov Chain Monte Carlo sampling time:\tnan\n\tIs sparsity (%):\t\t\t25\n" + rule},
        {thrown([&] { h.setDimensionality(0); }), "Invalid dimensionality"},
        {thrown([&] { h.initialize(veltest::SparseMatrix(1)), h.setDimensionality(5); }),
         "Class should be uninitialized to change the dimensionality"},
        {thrown([&] { h.reset(), h.setDimensionality(7); }), "no error"},
        {thrown([] { saved(Hsne()); }), "Cannot save an empty H-SNE hierarchy!!!"},
        {thrown([&] { vel::dr::IO::saveHSNE(huge, static_cast<std::ostream&>(out), nullptr); }),
         "Cannot save an H-SNE hierarchy of more than 16777216 points"},
        {out.str(), ""},
        {progress(false), ""},
        {progress(true), "Start: Area of influence\nEnd: Area of influence\nStart: Similarities\nEnd: Similarities\n"},
    };
    for (const auto& row : table) EXPECT_EQ(row.first, row.second);
    EXPECT_EQ(h.dimensionality(), 7);
}
