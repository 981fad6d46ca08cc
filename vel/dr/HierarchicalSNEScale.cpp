// Construction of a new scale: landmarks, area of influence, landmark weights
// and the transition matrix between landmarks.

#include <algorithm>
#include <cassert>
#include <map>
#include <omp.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"
#include "vel/dr/LandmarkSet.h"
#include "vel/dr/ScratchRow.h"
#include "vel/dr/TransposedRows.h"
#include "vel/dr/WalkLanes.h"
#include "vel/dr/WalkSteps.h"
#include "vel/dr/WalkStreams.h"
#include "vel/utils/LogProgress.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"

namespace vel {
namespace dr {

namespace {

void displayLine(utils::AbstractLog* logger, const std::string& text) {
    if (logger != nullptr) logger->display(text, false);
}

// Divides every non-empty row by its sum and records the sparsity figures: all
// entries, and those above `effective`, over L x L; without landmarks they stay -1.
template <typename Matrix, typename Statistics>
void normaliseRows(Matrix& matrix, float effective, unsigned int L, Statistics& statistics) {
    unsigned long long entries = 0;
    unsigned long long effectiveEntries = 0;
    for (auto& row : matrix) {
        double sum = 0;
        for (const auto& entry : row) sum += static_cast<double>(entry.second);
        // A row of zeros (from points of weight 0) stays as it is rather than become NaN.
        if (!(sum > 0)) continue;
        for (auto& entry : row) {
            entry.second = static_cast<float>(static_cast<double>(entry.second) / sum);
            if (entry.second > effective) ++effectiveEntries;
        }
        entries += row.size();
    }
    const double cells = static_cast<double>(L) * static_cast<double>(L);
    if (cells > 0) {
        statistics.fmcSparsity = static_cast<float>(1.0 - static_cast<double>(entries) / cells);
        statistics.fmcEffectiveSparsity = static_cast<float>(1.0 - static_cast<double>(effectiveEntries) / cells);
    }
}

// One more unit of work done; thread 0 writes a percentage line when the next
// of (stepCount + 1) steps is reached. Silent without a logger.
void progressStep(utils::LogProgress& progress) {
    if (progress.logger == nullptr) return;
    unsigned int done = 0;
#pragma omp atomic capture
    done = ++progress.doneCount;
    if (omp_get_thread_num() != 0) return;
    const double ratio = static_cast<double>(done) / progress.totalCount;
    if (progress.linesWritten >= static_cast<unsigned int>((progress.stepCount + 1u) * ratio)) return;
    ++progress.linesWritten;
    std::ostringstream text;
    text << ratio * 100 << "%";
    progress.logger->display(text.str(), true);
}

// Rows fetched ahead of the one summed in the similarities.
constexpr std::size_t kRowsAhead = 8;

// The area of influence read by landmark: column b lists (point, walk count)
// for every point whose walks reached b, in increasing point order. One array
// for all columns keeps it at 8 bytes an entry.
struct CountColumns {
    std::vector<std::size_t> start;  // L + 1 offsets into entries
    std::vector<std::pair<unsigned int, unsigned int>> entries;
};

// Columns of a matrix of N rows whose values are walk counts held as floats.
template <typename Matrix>
CountColumns countColumns(const Matrix& counts, unsigned int L) {
    CountColumns columns;
    columns.start.assign(static_cast<std::size_t>(L) + 1, 0);
    for (const auto& row : counts)
        for (const auto& entry : row) ++columns.start[entry.first + 1];
    for (unsigned int b = 0; b < L; ++b) columns.start[b + 1] += columns.start[b];
    columns.entries.resize(columns.start[L]);
    std::vector<std::size_t> next(columns.start.begin(), columns.start.end() - 1);
    for (std::size_t i = 0; i < counts.size(); ++i)
        for (const auto& entry : counts[i])
            columns.entries[next[entry.first]++] = {static_cast<unsigned int>(i),
                                                    static_cast<unsigned int>(entry.second)};
    return columns;
}

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::addScale() {
    assert(!_hierarchy.empty());
    _statistics.reset();
    {
        utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
        try {
            if (_params.memoryPreserving)
                addScaleOutOfCoreImpl();
            else
                addScaleImpl();
        } catch (const BuildProgress::Stopped&) {
            _hierarchy.clear();
            _initialized = false;
            throw;
        }
        _statistics.log(_logger);
    }
    return true;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
unsigned int HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::beginScale(const char* firstLine) {
    displayLine(_logger, firstLine);
    _hierarchy.emplace_back();
    Scale& S = _hierarchy.back();
    const Scale& P = _hierarchy[_hierarchy.size() - 2];
    unsigned int L = 0;
    beginPhase(BuildProgress::Phase::LandmarkSelection, static_cast<unsigned int>(_hierarchy.size() - 1),
               P.transitionMatrix.size());
    if (_params.monteCarloSampling)
        selectLandmarksWithStationaryDistribution(P, S, L);
    else
        selectLandmarks(P, S, L);
    endPhase();
    utils::logValue(_logger, "\t#landmarks", L, true, 1);
    return L;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::addScaleImpl() {
    utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
    const unsigned int L = beginScale("Add a new scale ...");
    // References taken after the append, which may move the scales.
    Scale& S = _hierarchy.back();
    const Scale& P = _hierarchy[_hierarchy.size() - 2];
    const std::uint32_t base = seed();
    const std::uint32_t scaleNumber = static_cast<std::uint32_t>(_hierarchy.size() - 1);
    const sparse_scalar_matrix_type& M = P.transitionMatrix;
    const unsigned int n = static_cast<unsigned int>(M.size());
    assert(P.landmarkWeight.size() == n && S.previousScaleToLandmarkIdx.size() == n && S.areaOfInfluence.size() == n);
    assert(S.size() == L && S.landmarkWeight.size() == L && S.transitionMatrix.size() == L);
    const unsigned int W =
        _params.numWalksPerLandmark > 0 ? static_cast<unsigned int>(_params.numWalksPerLandmark) : 0u;
    const double t = static_cast<double>(_params.pruneThresh);
    constexpr unsigned int kWalkLimit = 100;

    displayLine(_logger, "\tComputing area of influence...");
    beginPhase(BuildProgress::Phase::AreaOfInfluence, scaleNumber, n);
    {
        utils::ScopedTimer<float> aoiTimer(_statistics.aoiTime);
        // Row i holds the walk counts of point i (as floats, exact below 2^24
        // walks) until the transition matrix is built, then its shares. Every
        // point walks on a stream of its own and writes only its own row, so
        // nothing depends on the thread that walks it; walks differ widely in
        // length, hence the dynamic schedule.
        unsigned long long aoiEntries = 0;
#pragma omp parallel reduction(+ : aoiEntries)
        {
            std::vector<unsigned int> ends;
            ends.reserve(W);
            std::vector<std::pair<unsigned int, scalar_type>> counts;
#pragma omp for schedule(dynamic, 256)
            for (long long li = 0; li < static_cast<long long>(n); ++li) {
                if (!phaseStep()) continue;
                const unsigned int i = static_cast<unsigned int>(li);
                std::minstd_rand generator = walkEngine(base, scaleNumber, WalkPurpose::Influence, i);
                std::uniform_real_distribution<double> distribution(0.0, 1.0);
                ends.clear();
                for (unsigned int w = 0; w < W; ++w) {
                    const int end = randomWalk(i, S.previousScaleToLandmarkIdx, kWalkLimit, M, distribution, generator);
                    if (end < 0) continue;
                    const int landmark = S.previousScaleToLandmarkIdx[static_cast<unsigned int>(end)];
                    assert(landmark >= 0 && static_cast<unsigned int>(landmark) < L);
                    ends.push_back(static_cast<unsigned int>(landmark));
                }
                std::sort(ends.begin(), ends.end());
                counts.clear();
                for (unsigned int landmark : ends) {
                    if (counts.empty() || counts.back().first != landmark)
                        counts.emplace_back(landmark, scalar_type(1));
                    else
                        counts.back().second += scalar_type(1);
                }
                S.areaOfInfluence[i].initialize(counts.begin(), counts.end(), scalar_type(0));
                aoiEntries += counts.size();
            }
        }
        // A stop leaves walks undone: nothing is built from them.
        phaseBlock(0);

        // Each landmark's weight and transition row are summed by one thread in
        // increasing point order, so the sums are the same on any thread count.
        const CountColumns columns = countColumns(S.areaOfInfluence, L);
        const scalar_type walks = static_cast<scalar_type>(W);
#pragma omp parallel for schedule(static)
        for (long long lb = 0; lb < static_cast<long long>(L); ++lb) {
            const unsigned int b = static_cast<unsigned int>(lb);
            scalar_type weight = 0;
            for (std::size_t e = columns.start[b]; e < columns.start[b + 1]; ++e) {
                const auto& [i, cb] = columns.entries[e];
                weight += static_cast<scalar_type>(cb) / walks * P.landmarkWeight[i];
            }
            S.landmarkWeight[b] = weight;
        }

        // Row a sums w_i x c_a x c_b, in double, over the points i whose walks
        // reached both a and b more than t times each. Entries not above 0.001
        // after normalisation are dropped, as in the memory-preserving
        // construction, and the fmc step normalises again: with pruning 0 half a
        // row's mass can lie in such entries, among them the rare pairs that join
        // otherwise separate groups, and kept they compound over the scales until
        // the coarse scales mix the groups.
#pragma omp parallel
        {
            ScratchRow<double> similarity(L);
            std::vector<std::pair<unsigned int, scalar_type>> row;
#pragma omp for schedule(dynamic, 64)
            for (long long la = 0; la < static_cast<long long>(L); ++la) {
                const unsigned int a = static_cast<unsigned int>(la);
                for (std::size_t e = columns.start[a]; e < columns.start[a + 1]; ++e) {
                    const auto& [i, ca] = columns.entries[e];
                    const double weight = static_cast<double>(P.landmarkWeight[i]);
                    if (!(static_cast<double>(ca) > t) || !(weight > 0)) continue;
                    const double wa = weight * static_cast<double>(ca);
                    for (const auto& [b, cb] : S.areaOfInfluence[i])
                        if (b != a && static_cast<double>(cb) > t) similarity.add(b, wa * static_cast<double>(cb));
                }
                const std::vector<unsigned int>& reached = similarity.sortedColumns();
                double sum = 0;
                for (unsigned int b : reached) sum += similarity[b];
                row.clear();
                // A sum that underflowed to 0 leaves the row empty rather than NaN.
                if (sum > 0)
                    for (unsigned int b : reached) row.emplace_back(b, static_cast<scalar_type>(similarity[b] / sum));
                similarity.clear();
                S.transitionMatrix[a].initialize(row.begin(), row.end(), scalar_type(0.001));
            }
        }

#pragma omp parallel for schedule(static)
        for (long long li = 0; li < static_cast<long long>(n); ++li)
            for (auto& entry : S.areaOfInfluence[static_cast<std::size_t>(li)]) entry.second /= walks;
        _statistics.aoiNumWalks = static_cast<float>(W) * static_cast<float>(n);
        // Without points or landmarks there is no sparsity to speak of: it stays -1.
        const double cells = static_cast<double>(n) * static_cast<double>(L);
        if (cells > 0) _statistics.aoiSparsity = static_cast<float>(1.0 - static_cast<double>(aoiEntries) / cells);
    }
    endPhase();

    displayLine(_logger, "\tComputing finite markov chain...");
    beginPhase(BuildProgress::Phase::TransitionMatrix, scaleNumber, L);
    {
        utils::ScopedTimer<float> fmcTimer(_statistics.fmcTime);
        normaliseRows(S.transitionMatrix, 0.01f, L, _statistics);
    }
    endPhase();
    utils::logValue(_logger, "Min memory requirements (MB)", S.mimMemoryOccupation(), true, 1);
    return true;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
bool HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::addScaleOutOfCoreImpl() {
    utils::ScopedTimer<float> totalTimer(_statistics.totalTime);
    const unsigned int L = beginScale("Add a new scale with out-of-core implementation ...");
    Scale& S = _hierarchy.back();
    const Scale& P = _hierarchy[_hierarchy.size() - 2];
    const std::uint32_t base = seed();
    const std::uint32_t scaleNumber = static_cast<std::uint32_t>(_hierarchy.size() - 1);
    const sparse_scalar_matrix_type& M = P.transitionMatrix;
    const unsigned int n = static_cast<unsigned int>(M.size());
    assert(P.landmarkWeight.size() == n && S.previousScaleToLandmarkIdx.size() == n && S.areaOfInfluence.size() == n);
    assert(S.size() == L && S.landmarkWeight.size() == L && S.transitionMatrix.size() == L);
    const unsigned int W =
        _params.numWalksPerLandmark > 0 ? static_cast<unsigned int>(_params.numWalksPerLandmark) : 0u;
    const double shareThreshold = static_cast<double>(_params.pruneThresh) * 0.01;
    constexpr unsigned int kWalkLimit = 200;

    displayLine(_logger, "\tComputing area of influence...");
    beginPhase(BuildProgress::Phase::AreaOfInfluence, scaleNumber, n);
    {
        utils::ScopedTimer<float> aoiTimer(_statistics.aoiTime);
        utils::LogProgress aoiProgress(_verbose ? _logger : nullptr);
        aoiProgress.totalCount = n;
        aoiProgress.stepCount = n / 50000 - 1;
        aoiProgress.name = "Area of influence";
        aoiProgress.start();
        {
            // Each point walks on a stream of its own and writes only its own row. The
            // step table (about an eighth of the previous matrix) lives only while the
            // walks run.
            const WalkSteps<typename sparse_scalar_matrix_type::value_type::mapped_type> steps(M);
            const auto engineOf = [&](unsigned int i) {
                return walkEngine(base, scaleNumber, WalkPurpose::Influence, i);
            };
            const unsigned int walkBlock = WalkLanes::blockSize(n, omp_get_max_threads());
            const long long blocks = (static_cast<long long>(n) + walkBlock - 1) / walkBlock;
#pragma omp parallel
            {
                std::vector<unsigned int> sorted;
                std::vector<std::pair<unsigned int, float>> counts;
                // Counted by adding 1 per walk in float, then divided by W.
                const auto writeRow = [&](unsigned int i, const std::vector<unsigned int>& ends) {
                    sorted.assign(ends.begin(), ends.end());
                    std::sort(sorted.begin(), sorted.end());
                    counts.clear();
                    for (unsigned int landmark : sorted) {
                        assert(landmark < L);
                        if (counts.empty() || counts.back().first != landmark) counts.emplace_back(landmark, 0.f);
                        counts.back().second += 1.f;
                    }
                    for (auto& entry : counts) entry.second /= static_cast<float>(W);
                    S.areaOfInfluence[i].initialize(counts.begin(), counts.end(), scalar_type(0));
                    S.areaOfInfluence[i].shrink_to_fit();
                    progressStep(aoiProgress);
                    phaseStep();
                };
#pragma omp for schedule(dynamic, 1)
                for (long long block = 0; block < blocks; ++block) {
                    const unsigned int first = static_cast<unsigned int>(block) * walkBlock;
                    const unsigned int last = std::min(n, first + walkBlock);
                    // Rows are counted as they are written; a stop skips the blocks left.
                    if (!phaseStep(0)) continue;
                    WalkLanes::toStop(steps, S.previousScaleToLandmarkIdx, first, last, W, kWalkLimit, engineOf,
                                      writeRow);
                }
            }
        }
        aoiProgress.finish();
        endPhase();

        displayLine(_logger, "\tCaching weights...");
        unsigned long long aoiEntries = 0;
        for (const auto& row : S.areaOfInfluence) aoiEntries += row.size();

        beginPhase(BuildProgress::Phase::TransitionMatrix, scaleNumber, L);
        displayLine(_logger, "\tInverting the AoI matrix...");
        TransposedRows<scalar_type> transposed(S.areaOfInfluence, L);
        // Column b lists the entries of landmark b in increasing i, the order in
        // which a pass over the rows would add them.
#pragma omp parallel for schedule(dynamic, 256)
        for (long long lb = 0; lb < static_cast<long long>(L); ++lb) {
            const unsigned int b = static_cast<unsigned int>(lb);
            scalar_type& weight = S.landmarkWeight[b];
            for (const auto& item : transposed.column(b)) weight += item.value;
        }

        displayLine(_logger, "\tComputing similarities...");
        utils::LogProgress similarityProgress(_verbose ? _logger : nullptr);
        similarityProgress.totalCount = L;
        similarityProgress.stepCount = L / 5000 - 1;
        similarityProgress.name = "Similarities";
        similarityProgress.start();
        // Each thread sums a landmark's similarities in a dense scratch row over
        // the scale and marks the landmarks it reached in a bitmap, which gives
        // them back in increasing order. The sums for one b are taken in
        // increasing i, as in an ordered map, so the bits do not depend on the
        // scratch or on the schedule; rows differ widely in cost.
        const auto& A = S.areaOfInfluence;
#pragma omp parallel
        {
            std::vector<float> similarity(L, 0.f);
            LandmarkSet reached(L);
            std::vector<unsigned int> touched;
            std::vector<std::pair<unsigned int, float>> row;
#pragma omp for schedule(dynamic, 64)
            for (long long la = 0; la < static_cast<long long>(L); ++la) {
                if (!phaseStep()) continue;
                const unsigned int a = static_cast<unsigned int>(la);
                const auto column = transposed.column(a);
                const std::size_t size = column.size();
                for (std::size_t k = 0; k < size; ++k) {
                    // The rows of the points ahead: first their places in the matrix,
                    // then their entries, read once those places have arrived.
                    if (k + kRowsAhead < size) {
                        const unsigned int ahead = column[k + kRowsAhead].point;
                        __builtin_prefetch(&A[ahead]);
                        __builtin_prefetch(&P.landmarkWeight[ahead]);
                    }
                    if (k + kRowsAhead / 2 < size) {
                        const auto& entries = A[column[k + kRowsAhead / 2].point].memory();
                        const char* first = reinterpret_cast<const char*>(entries.data());
                        const char* last = first + entries.size() * sizeof(entries[0]);
                        for (const char* line = first; line < last; line += 64) __builtin_prefetch(line);
                    }
                    const unsigned int i = column[k].point;
                    const float va = column[k].value;
                    if (!(static_cast<double>(va) > shareThreshold)) continue;
                    const scalar_type weight = P.landmarkWeight[i];
                    for (const auto& [b, vb] : A[i]) {
                        if (b == a || !(static_cast<double>(vb) > shareThreshold)) continue;
                        reached.insert(b);
                        similarity[b] += va * vb * weight;
                    }
                }
                reached.drainInto(touched);
                double sum = 0;
                for (unsigned int b : touched) sum += static_cast<double>(similarity[b]);
                row.clear();
                // Points of weight 0 contribute nothing; a row of such zeros stays empty.
                if (sum > 0)
                    for (unsigned int b : touched)
                        row.emplace_back(b, static_cast<float>(static_cast<double>(similarity[b]) / sum));
                for (unsigned int b : touched) similarity[b] = 0.f;
                S.transitionMatrix[a].initialize(row.begin(), row.end(), scalar_type(0.001));
                S.transitionMatrix[a].shrink_to_fit();
                transposed.done(a);
                progressStep(similarityProgress);
            }
        }
        similarityProgress.finish();
        _statistics.aoiNumWalks = static_cast<float>(W) * static_cast<float>(n);
        const double aoiCells = static_cast<double>(n) * static_cast<double>(L);
        if (aoiCells > 0)
            _statistics.aoiSparsity = static_cast<float>(1.0 - static_cast<double>(aoiEntries) / aoiCells);
    }

    displayLine(_logger, "\tComputing finite markov chain...");
    {
        utils::ScopedTimer<float> fmcTimer(_statistics.fmcTime);
        // The entries dropped above leave rows summing to less than 1.
        normaliseRows(S.transitionMatrix, 0.001f, L, _statistics);
    }
    endPhase();
    return true;
}

using HierarchicalSNEF = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;

template bool HierarchicalSNEF::addScale();
template bool HierarchicalSNEF::addScaleImpl();
template bool HierarchicalSNEF::addScaleOutOfCoreImpl();
template unsigned int HierarchicalSNEF::beginScale(const char*);

}  // namespace dr
}  // namespace vel
