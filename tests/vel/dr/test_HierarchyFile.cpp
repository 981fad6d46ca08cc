#include <atomic>
#include <cstring>
#include <limits>

#include "vel/dr/HierarchyTestData.h"

using namespace hsnetest;

namespace {

// While armed, every operator new of the process records the largest request.
std::atomic<bool> armed{false};
std::atomic<std::size_t> largest{0};

void load(Hsne& h, const std::string& bytes) {
    std::istringstream in(bytes);
    vel::dr::IO::loadHSNE(h, static_cast<std::istream&>(in), nullptr);
}

template <typename T>
std::string with(std::string bytes, std::size_t offset, T field) {
    std::memcpy(&bytes[offset], &field, 4);
    return bytes;
}

}  // namespace

// AddressSanitizer keeps its own allocator; elsewhere new and delete are malloc and free.
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

// The 44-byte example, P kept by initialize(P), scale 0 rebuilt, save-load-save.
TEST(HierarchyFile, TwoPointExampleAndRoundTrips) {
    Hsne h, loaded;
    h.initialize(rows({{{1, 1.f}}, {{0, 1.f}}}));
    const std::uint32_t fields[] = {0, 0, 0x3f800000, 0x40000000, 2, 1, 1, 0x3f800000, 1, 0, 0x3f800000};
    EXPECT_EQ(saved(h), std::string(reinterpret_cast<const char*>(fields), sizeof fields));
    load(loaded, saved(h));
    const std::vector<unsigned int> ids{0, 1};
    EXPECT_TRUE(loaded.hierarchy().size() == 1 && loaded.scale(0).landmarkWeight == std::vector<float>(2, 1.f) &&
                loaded.scale(0).landmarkToPreviousScaleIdx == ids && loaded.scale(0).landmarkToOriginalIdx == ids);
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

// Each is refused, keeps the scales and asks for no block beyond the file or 64 scales.
TEST(HierarchyFile, DamagedFilesAreRefusedAndChangeNothing) {
    const std::string bytes = saved(threeScales());
    std::vector<std::string> bad;
    for (std::size_t n = 0; n < bytes.size(); ++n) bad.push_back(bytes.substr(0, n));
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float scales : {inf, 1e30f, 65.f, nan, 0.f, -1.f, 4.f}) bad.push_back(with(bytes, 8, scales));
    for (float size0 : {3.f, 5.f, -4.f, 4.5f, nan}) bad.push_back(with(bytes, 12, size0));
    for (std::size_t version : {0, 4}) bad.push_back(with(bytes, version, 1.f));
    std::mt19937 rng(15);  // random bytes after a valid start
    for (std::size_t kept : {0, 8, 12, 16})
        for (bad.push_back(bytes.substr(0, kept)); bad.back().size() < 1024;) bad.back() += static_cast<char>(rng());
    // (offset, field) in that file: counts of 0xFFFFFFFF; in scale 0 a column, a
    // probability; in scale 1 columns, indices out of range or disagreeing, a weight.
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {16, ~0u}, {20, ~0u}, {92, ~0u}, {24, 4},  {28, 0x7f800000}, {80, 2},          {188, 5},
        {100, 4},  {108, 9},  {108, 2},  {140, 1}, {140, ~1u},       {120, 0x7fc00000}};
    for (const auto& [offset, field] : fields) bad.push_back(with(bytes, offset, field));
    // Scale 1 one element short of the previous points, of the weights, of the transition rows.
    for (const auto& [count, length, element] : {std::tuple{128, 3u, 144}, {116, 1u, 124}, {72, 1u, 88}})
        bad.push_back(with(bytes, count, length).erase(element, 4));
    for (std::size_t i = 0; i < bad.size(); ++i) {
        Hsne target = threeScales();
        largest = 0, armed = true;
        EXPECT_THROW(load(target, bad[i]), std::runtime_error) << "case " << i;
        armed = false;
        EXPECT_TRUE(largest <= std::max(bad[i].size(), 64 * sizeof(Hsne::Scale)) && saved(target) == bytes) << i;
    }
}

// Scale 0 of `points` rows as the file stores it; row 0 holds `entries` in
// the given order, the other rows are empty.
std::string oneScaleFile(std::uint32_t points, const std::vector<std::pair<std::uint32_t, float>>& entries) {
    std::vector<std::uint32_t> words = {0, 0, 0x3f800000, 0, points, static_cast<std::uint32_t>(entries.size())};
    const float size = static_cast<float>(points);
    std::memcpy(&words[3], &size, 4);
    for (const auto& [column, value] : entries) {
        words.push_back(column);
        words.push_back(0);
        std::memcpy(&words.back(), &value, 4);
    }
    words.resize(words.size() + points - 1, 0);
    return std::string(reinterpret_cast<const char*>(words.data()), 4 * words.size());
}

// Entries in any order load sorted by column, a repeated column with its last
// value, on a stream that seeks and on one of a given length alike; a row of
// 300,000 entries in descending order among them.
TEST(HierarchyFile, RowsInAnyOrderLoadSortedWithTheLastOfARepeatedColumn) {
    using Entries = std::vector<std::pair<std::uint32_t, float>>;
    Entries descending, expectedDescending;
    for (std::uint32_t c = 300000; c-- > 0;) descending.emplace_back(c, static_cast<float>(c % 7));
    expectedDescending.assign(descending.rbegin(), descending.rend());
    const struct {
        const char* name;
        std::uint32_t points;
        Entries stored, loaded;
    } cases[] = {
        {"ascending", 4, {{0, .1f}, {2, .2f}, {3, .3f}}, {{0, .1f}, {2, .2f}, {3, .3f}}},
        {"one swap", 4, {{2, .2f}, {0, .1f}, {3, .3f}}, {{0, .1f}, {2, .2f}, {3, .3f}}},
        {"repeated in order", 4, {{1, .1f}, {1, .5f}, {3, .3f}}, {{1, .5f}, {3, .3f}}},
        {"repeated apart", 4, {{3, .3f}, {1, .1f}, {2, .2f}, {1, .9f}, {3, .7f}}, {{1, .9f}, {2, .2f}, {3, .7f}}},
        {"descending", 300000, descending, expectedDescending},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = oneScaleFile(c.points, c.stored);
        Hsne seeking, counted;
        load(seeking, bytes);
        std::istringstream in(bytes);
        vel::dr::IO::loadHSNE(counted, static_cast<std::istream&>(in), bytes.size(), nullptr);
        for (Hsne* h : {&seeking, &counted}) {
            ASSERT_EQ(h->scale(0).transitionMatrix.size(), c.points);
            EXPECT_TRUE(h->scale(0).transitionMatrix[0].memory() == c.loaded);
        }
        // Told fewer bytes than the stream holds, the load ends early.
        std::istringstream shortened(bytes);
        EXPECT_THROW(vel::dr::IO::loadHSNE(counted, static_cast<std::istream&>(shortened), bytes.size() - 4, nullptr),
                     std::runtime_error);
    }
}

// A reader of the format's tables alone (4-byte fields; versions, scale count and
// sizes as floats; counts as uint32): every count, invariant and the size formula.
TEST(HierarchyFile, AReaderOfTheFormatParsesASavedHierarchy) {
    const auto& [b, h] = fiveBlobs();
    const std::string bytes = saved(h);
    std::vector<std::uint32_t> word(bytes.size() / 4);
    std::vector<float> real(word.size());
    std::memcpy(word.data(), bytes.data(), 4 * word.size());
    std::memcpy(real.data(), bytes.data(), 4 * word.size());
    std::size_t at = 4, faults = 0, formula = 16;
    const auto u32 = [&] { return at < word.size() ? word[at++] : ~0u; };
    const auto f32 = [&] { return at < real.size() ? real[at++] : NAN; };
    const auto matrix = [&](const veltest::SparseMatrix& m, std::uint32_t columns) {
        faults += u32() != m.size();
        formula += 4 + 4 * m.size();
        for (const auto& row : m) {
            faults += u32() != row.size();
            formula += 8 * row.size();
            for (std::size_t e = 0; e < row.size(); ++e) faults += u32() >= columns, faults += !std::isfinite(f32());
        }
    };
    const auto vector = [&](std::size_t n) {  // the position of its first element
        faults += u32() != n;
        formula += 4 + 4 * n;
        return (at += n) - n;
    };
    EXPECT_TRUE(real[0] == 0 && real[1] == 0 && real[2] == 3.f && real[3] == b.n);
    matrix(h.scale(0).transitionMatrix, b.n);
    for (std::size_t s = 1, previous = b.n; s < 3; previous = h.scale(s++).size()) {
        const std::uint32_t L = h.scale(s).size();
        faults += f32() != L, formula += 4;
        matrix(h.scale(s).transitionMatrix, L);
        const std::size_t orig = vector(L), prev = vector(L), weight = vector(L), land = vector(previous);
        matrix(h.scale(s).areaOfInfluence, L);
        ASSERT_TRUE(L > 0 && at <= word.size());
        for (std::uint32_t l = 0, p; l < L; ++l)  // p: the landmark's previous point, which must map back to it
            faults += (p = word[prev + l]) >= previous || word[land + p] != l || word[orig + l] >= b.n ||
                      !std::isfinite(real[weight + l]);
        faults += std::count(&word[land], &word[land] + previous, ~0u) != static_cast<long>(previous - L);
    }
    EXPECT_TRUE(faults == 0 && at == word.size() && formula == bytes.size()) << faults << " " << formula;
}

TEST(HierarchicalSNE, QuotedTexts) {
    Hsne h;
    Lines measured;
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
    Hsne huge = threeScales();
    huge.scale(1).landmarkToOriginalIdx.resize((1u << 24) + 1);
    std::ostringstream out;
    const std::pair<std::string, std::string> table[] = {
        {measured.text,
         "\n--------------- Hierarchical-SNE Statistics ------------------\nTotal time:\t-1\n"
         "\tMarkov Chain Monte Carlo sampling time:\tnan\n\tIs sparsity (%):\t\t\t25\n" +
             std::string(62, '-') + "\n\n"},
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
