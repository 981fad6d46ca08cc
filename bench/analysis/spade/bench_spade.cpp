// SPADE and template classification on data of their own (fixed seed, 40
// variables of which 30 are selected, 25 clusters of unequal size and
// spread), each figure printed beside its baseline from the same run:
//
// 1. Local densities of one file of --n events (100,000): seconds, pairs per
//    second and the console's progress line, against a plain blocked,
//    vectorised L1 loop over the same compact columns that only sums the
//    distances. Goal: at least half its pair rate. The same stage on one
//    thread is printed; the nearest-neighbour sample and the down-sampling
//    are printed.
// 2. The dendrogram of --n kept events. Goal: at most 10 s. Baseline: the
//    plain serial traversal (one distance per remaining point per step, the
//    parent searched over the coarser levels) on --baseline-n (20,000) points.
// 3. --big events (1,000,000) in 10 files, 50 clusters or templates:
//    up-sampling after a re-cut (goal at most 1 s) and template
//    classification (goal at most 2 s), each against one thread and against a
//    plain read pass over the selected columns.
//
//   bench_spade [--n N] [--baseline-n N] [--big N] [--threads T] [--single 0|1]

#include "bench/analysis/AnalysisBenchData.h"
#include "bench/analysis/FirstUpdateUi.h"

#include "analysis/clustering/HierarchicalClustering.h"
#include "analysis/clustering/MCV_L1Columns.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <omp.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <numeric>
#include <random>
#include <sstream>

namespace {

constexpr unsigned kVariables = 40;
constexpr unsigned kSelected = 30;
constexpr unsigned kClusters = 25;

struct Options {
    unsigned n = 100000;
    unsigned baselineN = 20000;
    unsigned big = 1000000;
    int threads = 8;
    bool single = true;
};

struct Mixture {
    std::vector<float> centres;  // kClusters x kVariables
    std::vector<float> rows;     // n x kVariables
};

// Cluster c takes c + 1 parts of the events and has spread 0.3 + 0.07 c.
Mixture mixture(unsigned n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.f, 1.f);
    Mixture m;
    m.centres.resize(kClusters * kVariables);
    for (auto& c : m.centres) c = normal(rng) * 8.f;
    std::vector<double> weights(kClusters);
    std::iota(weights.begin(), weights.end(), 1.0);
    std::discrete_distribution<unsigned> pick(weights.begin(), weights.end());
    m.rows.resize(static_cast<size_t>(n) * kVariables);
    for (unsigned i = 0; i < n; ++i) {
        const unsigned c = pick(rng);
        const float spread = 0.3f + 0.07f * static_cast<float>(c);
        for (unsigned d = 0; d < kVariables; ++d)
            m.rows[static_cast<size_t>(i) * kVariables + d] = m.centres[c * kVariables + d] + spread * normal(rng);
    }
    return m;
}

// Loads `rows` as `files` files into a fresh data set.
bool load(const Mixture& m, unsigned n, int files, const QTemporaryDir& dir) {
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(nullptr);
    return loadData(m.rows, n, kVariables, files, dir, {});
}

// The first kSelected variables stay enabled.
template <typename A>
void selectMarkers(A& analysis) {
    for (unsigned v = kSelected; v < kVariables; ++v) analysis.setMarkerState(static_cast<int>(v), false);
}

// First and last report of each stage, by the stage's text up to its file.
struct StageClock {
    using Clock = std::chrono::steady_clock;
    std::map<std::string, std::pair<Clock::time_point, Clock::time_point>> spans;
    std::vector<std::string> order;
    void report(const std::string& what, int) {
        const auto now = Clock::now();
        auto it = spans.find(what);
        if (it == spans.end()) {
            spans[what] = {now, now};
            order.push_back(what);
        } else {
            it->second.second = now;
        }
    }
    // Seconds from the first report of the first stage starting with `prefix`
    // to the last report of the last one.
    double span(const std::string& prefix) const {
        Clock::time_point first{}, last{};
        bool any = false;
        for (const std::string& what : order) {
            if (what.compare(0, prefix.size(), prefix) != 0) continue;
            const auto& s = spans.at(what);
            if (!any) first = s.first;
            last = s.second;
            any = true;
        }
        return any ? std::chrono::duration<double>(last - first).count() : 0.0;
    }
    // Seconds between the end of the last `before` stage and the start of the
    // first `after` stage.
    double gap(const std::string& before, const std::string& after) const {
        Clock::time_point end{}, start{};
        bool seenEnd = false, seenStart = false;
        for (const std::string& what : order) {
            if (what.compare(0, before.size(), before) == 0) {
                end = spans.at(what).second;
                seenEnd = true;
            }
            if (!seenStart && what.compare(0, after.size(), after) == 0) {
                start = spans.at(what).first;
                seenStart = true;
            }
        }
        return seenEnd && seenStart ? std::chrono::duration<double>(start - end).count() : 0.0;
    }
};

// One SPADE run, its console output kept; returns the stages' clock.
StageClock runSpade(MCV_SpadeAnalysis& spade, std::string* console) {
    StageClock clock;
    spade.setProgressHook([&clock](const std::string& what, int percent) { clock.report(what, percent); });
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    spade.computeSpadeTree();
    std::cout.rdbuf(saved);
    if (console) *console = sink.str();
    spade.setProgressHook(nullptr);
    return clock;
}

// The line of `console` that holds `marker`, without its tabs.
std::string lineWith(const std::string& console, const std::string& marker) {
    const size_t at = console.find(marker);
    if (at == std::string::npos) return "(none)";
    const size_t begin = console.rfind('\n', at) + 1;
    const size_t end = console.find('\n', at);
    std::string line = console.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
    return line;
}

// The plain loop: every ordered pair's L1 distance summed, nothing counted.
double plainPairs(const MCV_L1Columns<float>& columns, double* checksum) {
    const size_t n = columns.size();
    double total = 0;
    vel::utils::Timer timer;
    timer.start();
#pragma omp parallel reduction(+ : total)
    {
        std::vector<float> query(columns.numMarkers()), out(n);
#pragma omp for schedule(static)
        for (long i = 0; i < static_cast<long>(n); ++i) {
            columns.copyEvent(static_cast<size_t>(i), query.data());
            columns.distances(query.data(), 0, n, out.data());
            float s = 0;
            for (float d : out) s += d;
            total += s;
        }
    }
    const double t = seconds(timer);
    *checksum = total;
    return t;
}

// The plain serial traversal, one distance per remaining point per step and
// the parent searched over all leveled points traversed before the level.
double serialDendrogram(const std::vector<float>& rows, unsigned n) {
    struct P {
        std::vector<double> x;
        double distance = 99999999.9;
    };
    std::vector<P> points(n);
    for (unsigned i = 0; i < n; ++i)
        for (unsigned d = 0; d < kSelected; ++d)
            points[i].x.push_back(static_cast<double>(rows[static_cast<size_t>(i) * kVariables + d]));
    const auto l1 = [](const std::vector<double>& a, const std::vector<double>& b) {
        double s = 0;
        for (size_t k = 0; k < a.size(); ++k) s += std::fabs(a[k] - b[k]);
        return s;
    };
    vel::utils::Timer timer;
    timer.start();
    std::vector<unsigned> rest;
    for (unsigned i = 1; i < n; ++i) rest.push_back(i);
    std::vector<unsigned> leveled{0};
    std::vector<size_t> levelStart{0};
    std::vector<double> lower{0.0};
    unsigned last = 0;
    double R = -1;
    volatile unsigned sink = 0;
    while (!rest.empty()) {
        size_t best = 0;
        double bestDistance = -1;
        for (size_t k = 0; k < rest.size(); ++k) {
            P& q = points[rest[k]];
            q.distance = std::min(q.distance, l1(q.x, points[last].x));
            if (q.distance > bestDistance) bestDistance = q.distance, best = k;
        }
        last = rest[best];
        rest.erase(rest.begin() + static_cast<long>(best));
        if (R < 0) R = bestDistance;
        if (bestDistance <= 1e-6) continue;
        // Level l >= 1 covers (R / 2^l, R / 2^(l-1)]; points only go to the
        // deepest level or a new, deeper one.
        if (lower.size() == 1 || !(bestDistance > lower.back())) {
            do {
                lower.push_back(R / std::pow(2.0, static_cast<double>(lower.size())));
                levelStart.push_back(leveled.size());
            } while (!(bestDistance > lower.back()) && lower.size() < 2000);
        }
        double nearest = 1e16;
        unsigned parent = 0;
        for (size_t k = 0; k < levelStart.back(); ++k) {
            const double d = l1(points[leveled[k]].x, points[last].x);
            if (d < nearest) nearest = d, parent = leveled[k];
        }
        sink = parent;
        leveled.push_back(last);
    }
    (void)sink;
    return seconds(timer);
}

double dendrogram(const std::vector<float>& rows, unsigned n) {
    std::list<cPoint_t*> points;
    for (unsigned i = 0; i < n; ++i) {
        auto* p = new cPoint_t();
        for (unsigned d = 0; d < kSelected; ++d)
            p->coordinates.push_back(static_cast<double>(rows[static_cast<size_t>(i) * kVariables + d]));
        p->distance = 99999999.9;
        p->eventIdx = static_cast<int>(i);
        points.push_back(p);
    }
    Dendrogram tree;
    const double t = silently([&] { hcluster_points(points, tree, false); });
    for (auto& entry : tree) delete entry.second;
    return t;
}

// Where the read pass leaves its sum, so that it cannot be optimised away.
volatile double g_sink = 0;

// Sums every selected value of every loaded event, in parallel.
double readPass() {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    double total = 0;
    vel::utils::Timer timer;
    timer.start();
    for (int f = 0; f < data->numFiles(); ++f) {
        const float* rows = data->rawData(f);
        const long n = data->header(f)->numEvents();
        const size_t width = static_cast<size_t>(data->combinedHeader()->numVariables());
        double part = 0;
#pragma omp parallel for reduction(+ : part) schedule(static)
        for (long e = 0; e < n; ++e)
            for (unsigned m = 0; m < kSelected; ++m) part += rows[static_cast<size_t>(e) * width + m];
        total += part;
    }
    const double t = seconds(timer);
    g_sink = total;
    return t;
}

void verdict(const char* what, bool pass) { std::printf("  %-58s %s\n", what, pass ? "PASS" : "MISS"); }

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int v = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--n")) opt.n = static_cast<unsigned>(v);
        if (!std::strcmp(argv[i], "--baseline-n")) opt.baselineN = static_cast<unsigned>(v);
        if (!std::strcmp(argv[i], "--big")) opt.big = static_cast<unsigned>(v);
        if (!std::strcmp(argv[i], "--threads")) opt.threads = v;
        if (!std::strcmp(argv[i], "--single")) opt.single = v != 0;
    }
    omp_set_num_threads(opt.threads);
    std::printf("bench_spade: %d threads, %u variables (%u selected), %u clusters\n", opt.threads, kVariables,
                kSelected, kClusters);

    // ---- 1. Local densities ----
    {
        QTemporaryDir dir;
        const Mixture m = mixture(opt.n, 20261207);
        if (!load(m, opt.n, 1, dir)) return 1;
        MCV_SpadeAnalysis spade;
        spade.init(nullptr, "bench");
        selectMarkers(spade);
        spade.setDensityLimit(1.0f);  // a small dendrogram: this section is about densities
        std::string console;
        const StageClock clock = runSpade(spade, &console);
        const double densities = clock.span("Local densities");
        const double pairs = static_cast<double>(opt.n) * (opt.n - 1);
        MCV_L1Columns<float> columns;
        columns.reset(kSelected);
        std::vector<unsigned> selected(kSelected);
        std::iota(selected.begin(), selected.end(), 0u);
        for (unsigned i = 0; i < opt.n; ++i)
            columns.appendRow(m.rows.data() + static_cast<size_t>(i) * kVariables, selected.data());
        double checksum = 0;
        const double plain = plainPairs(columns, &checksum);
        std::printf("\n1. Local densities of %u events\n", opt.n);
        std::printf("  nearest-neighbour sample   %8.3f s\n", clock.span("Nearest neighbours"));
        std::printf("  local densities            %8.3f s  %.3g pairs/s\n", densities, pairs / densities);
        std::printf("  plain L1 loop (baseline)   %8.3f s  %.3g pairs/s  (checksum %.6g)\n", plain, pairs / plain,
                    checksum);
        std::printf("  down-sampling              %8.3f s\n", clock.gap("Local densities", "Hierarchical clustering"));
        std::printf("  progress line: %s\n", lineWith(console, "Computing local densities").c_str());
        verdict("densities at least 0.5 x the plain loop's pair rate", plain / densities >= 0.5);
        if (opt.single) {
            omp_set_num_threads(1);
            spade.setAlpha(3.01f);  // another radius: the cache does not apply
            const StageClock one = runSpade(spade, nullptr);
            std::printf("  local densities, 1 thread  %8.3f s  (%.2f x the %d-thread run)\n",
                        one.span("Local densities"), one.span("Local densities") / densities, opt.threads);
            omp_set_num_threads(opt.threads);
        }
    }

    // ---- 2. Dendrogram ----
    {
        const Mixture m = mixture(std::max(opt.n, opt.baselineN), 20261208);
        const double ours = dendrogram(m.rows, opt.n);
        const double serial = serialDendrogram(m.rows, opt.baselineN);
        const double scaled = serial * std::pow(static_cast<double>(opt.n) / opt.baselineN, 2.0);
        std::printf("\n2. Dendrogram\n");
        std::printf("  %u kept events             %8.3f s\n", opt.n, ours);
        std::printf("  plain serial on %u (baseline) %8.3f s  (x (n / %u)^2 = %.1f s)\n", opt.baselineN, serial,
                    opt.baselineN, scaled);
        verdict("dendrogram of the kept events at most 10 s", ours <= 10.0);
    }

    // ---- 3. A million events ----
    {
        QTemporaryDir dir;
        const Mixture m = mixture(opt.big, 20261209);
        if (!load(m, opt.big, 10, dir)) return 1;
        std::printf("\n3. %u events in 10 files, 50 clusters or templates\n", opt.big);
        const double read = readPass();
        std::printf("  plain read pass (baseline) %8.3f s\n", read);

        MCV_SpadeAnalysis spade;
        spade.init(nullptr, "bench big");
        selectMarkers(spade);
        vel::utils::Timer first;
        first.start();
        runSpade(spade, nullptr);
        std::printf("  first SPADE run            %8.3f s  (densities of every file included)\n", seconds(first));
        spade.setTargetNumberOfClusters(49);
        StageClock recut = runSpade(spade, nullptr);
        spade.setTargetNumberOfClusters(50);
        recut = runSpade(spade, nullptr);
        const double upsampling = recut.span("Up-sampling");
        std::printf("  up-sampling after a re-cut %8.3f s\n", upsampling);
        omp_set_num_threads(1);
        spade.setTargetNumberOfClusters(49);
        runSpade(spade, nullptr);
        spade.setTargetNumberOfClusters(50);
        const StageClock one = runSpade(spade, nullptr);
        omp_set_num_threads(opt.threads);
        std::printf("  up-sampling, 1 thread      %8.3f s\n", one.span("Up-sampling"));
        verdict("up-sampling at most 1 s", upsampling <= 1.0);

        // 50 templates: the 25 centres and 25 of them moved by one unit.
        std::vector<std::vector<float>> templates;
        for (unsigned c = 0; c < 2 * kClusters; ++c) {
            std::vector<float> row(m.centres.begin() + (c % kClusters) * kVariables,
                                   m.centres.begin() + (c % kClusters + 1) * kVariables);
            if (c >= kClusters)
                for (float& v : row) v += 1.0f;
            templates.push_back(row);
        }
        MCV_TemplateAnalysis classify;
        silently([&] { classify.init(nullptr, "bench templates", templates); });
        selectMarkers(classify);
        const double ours = silently([&] { classify.upsampleData(); });
        omp_set_num_threads(1);
        const double single = silently([&] { classify.upsampleData(); });
        omp_set_num_threads(opt.threads);
        std::printf("  template classification    %8.3f s\n", ours);
        std::printf("  template classification, 1 thread %8.3f s\n", single);
        verdict("template classification at most 2 s", ours <= 2.0);
    }
    delete MCV_CytometryData::Instance();
    return 0;
}
