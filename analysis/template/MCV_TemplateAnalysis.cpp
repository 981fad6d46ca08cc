#include "analysis/template/MCV_TemplateAnalysis.h"

#include "analysis/clustering/MCV_L1Columns.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iostream>
#include <limits>

namespace {

// Outcomes of an event that joined no template.
constexpr int kSingleFailure = -1;    // every template failed on a single marker
constexpr int kCombinedFailure = -2;  // every template's total exceeded the limit
constexpr int kMixedFailure = -3;     // anything else

// Events per block of the distance kernel: the block's compact columns stay in
// the cache while every template is measured against them.
constexpr size_t kBlockEvents = 16 * MCV_L1Columns<float>::kLanes;
// Events classified between two looks at the progress marks.
constexpr size_t kChunkEvents = size_t(1) << 15;

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& m_flag;
};

std::string plural(size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

}  // namespace

MCV_TemplateAnalysis::MCV_TemplateAnalysis() { m_type = ANALYSIS_SPADE; }

MCV_TemplateAnalysis::~MCV_TemplateAnalysis() = default;

void MCV_TemplateAnalysis::init(MCV_UiInterface* ui, std::string name, std::vector<std::vector<float>> templates) {
    m_name = std::move(name);
    createDerivedData(false);
    m_templates = std::move(templates);
    MCV_Analysis::init(ui, m_name);
}

std::string MCV_TemplateAnalysis::refusal(size_t variables) const {
    // The flags are sized to the combined header and variables are only ever
    // added, so every enabled marker is a variable.
    assert(m_selectedMarkers.empty() || m_selectedMarkers.back() < variables);
    for (unsigned m : m_selectedMarkers)
        if (m >= variables)
            return "The enabled marker " + std::to_string(m + 1) + " is not a variable of the loaded data.";
    if (m_templates.empty()) return std::string();

    // Template values are read by variable index.
    size_t shortest = 0;
    for (size_t t = 1; t < m_templates.size(); ++t)
        if (m_templates[t].size() < m_templates[shortest].size()) shortest = t;
    const size_t length = m_templates[shortest].size();
    for (unsigned m : m_selectedMarkers) {
        if (m < length) continue;
        const bool rectangular = std::all_of(m_templates.begin(), m_templates.end(),
                                             [&](const std::vector<float>& row) { return row.size() == length; });
        const std::string lead =
            rectangular ? "The templates have " + plural(length, "value") + " per row"
                        : "Template " + std::to_string(shortest + 1) + " has only " + plural(length, "value");
        const MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
        const std::string name = header ? header->variableName(static_cast<int>(m)) : std::string();
        return lead + "; the enabled marker \"" + name + "\" (variable " + std::to_string(m + 1) +
               ") has none. Disable it or use a table with a value for every variable.";
    }
    return std::string();
}

void MCV_TemplateAnalysis::createShortenedClassifier() {
    m_shortenedTemplates.assign(m_templates.size(), std::vector<float>(m_selectedMarkers.size()));
    for (size_t t = 0; t < m_templates.size(); ++t)
        for (size_t j = 0; j < m_selectedMarkers.size(); ++j) {
            const unsigned m = m_selectedMarkers[j];
            m_shortenedTemplates[t][j] =
                m < m_templates[t].size() ? m_templates[t][m] : std::numeric_limits<float>::quiet_NaN();
        }
}

void MCV_TemplateAnalysis::computeMedianClusterExpression() { m_result.computeMedians(m_selectedMarkers); }

bool MCV_TemplateAnalysis::computeMinimumSpanningTree() {
    m_result.edges.clear();
    m_result.computeSpanningTree();
    return true;
}

float MCV_TemplateAnalysis::distance(std::vector<float>* a, std::vector<float>* b) const {
    if (!a || !b) return 0.0f;
    bool exceeded = false;
    const float d = MCV_L1Columns<float>::pairDistance(a->data(), b->data(), std::min(a->size(), b->size()),
                                                       m_maxSingleDistance, &exceeded);
    return exceeded ? -1.0f : d;
}

float MCV_TemplateAnalysis::distance(float* a, float* b, std::vector<int>* markers) const {
    if (!a || !b || !markers) return 0.0f;
    bool exceeded = false;
    const float d = MCV_L1Columns<float>::rowDistance(a, b, *markers, m_maxSingleDistance, &exceeded);
    return exceeded ? -1.0f : d;
}

void MCV_TemplateAnalysis::classifyEvents(const float* rows, size_t width, size_t begin, size_t end,
                                          int* outcome) const {
    const size_t markers = m_selectedMarkers.size();
    const size_t numTemplates = m_shortenedTemplates.size();
    const float single = m_maxSingleDistance;
    const float total = m_maxTotalDistance;
    const long blocks = static_cast<long>((end - begin + kBlockEvents - 1) / kBlockEvents);

#pragma omp parallel
    {
        MCV_L1Columns<float> columns;
        columns.reset(markers);
        columns.reserve(kBlockEvents);
        float distance[kBlockEvents];
        unsigned char exceeded[kBlockEvents];
        int best[kBlockEvents];
        float bestDistance[kBlockEvents];
        size_t singleFailures[kBlockEvents], combinedFailures[kBlockEvents];

#pragma omp for schedule(static)
        for (long b = 0; b < blocks; ++b) {
            const size_t first = begin + static_cast<size_t>(b) * kBlockEvents;
            const size_t count = std::min(end, first + kBlockEvents) - first;
            columns.reset(markers);
            for (size_t i = 0; i < count; ++i) columns.appendRow(rows + (first + i) * width, m_selectedMarkers.data());
            for (size_t i = 0; i < count; ++i) {
                best[i] = static_cast<int>(numTemplates);
                bestDistance[i] = total;
                singleFailures[i] = combinedFailures[i] = 0;
            }
            for (size_t t = 0; t < numTemplates; ++t) {
                const float* profile = m_shortenedTemplates[t].data();
                columns.distances(profile, 0, count, distance, single, exceeded);
                // A total exactly at the limit neither matches nor counts as a
                // failure of the total; NaN does neither.
                for (size_t i = 0; i < count; ++i) {
                    if (exceeded[i]) {
                        ++singleFailures[i];
                    } else if (distance[i] < bestDistance[i]) {
                        best[i] = static_cast<int>(t);
                        bestDistance[i] = distance[i];
                    } else if (distance[i] > total) {
                        ++combinedFailures[i];
                    }
                }
            }
            for (size_t i = 0; i < count; ++i) {
                int result = best[i];
                if (result == static_cast<int>(numTemplates))
                    result = singleFailures[i] == numTemplates     ? kSingleFailure
                             : combinedFailures[i] == numTemplates ? kCombinedFailure
                                                                   : kMixedFailure;
                outcome[first - begin + i] = result;
            }
        }
    }
}

bool MCV_TemplateAnalysis::upsampleData() {
    const RunningFlag running(m_running);
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const MCV_FcsHeader* header = data->combinedHeader();
    const size_t width = header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;
    m_error = refusal(width);
    if (!m_error.empty()) {
        std::cout << "\n[ERROR] " << m_name << ": " << m_error << std::endl;
        return false;
    }

    std::cout << "\nUpsampling data .."
              << "\nMaximum Distance for a single marker is " << m_maxSingleDistance
              << "\nMaximum Distance for the complete marker profile is " << m_maxTotalDistance;
    createShortenedClassifier();

    const size_t numTemplates = m_shortenedTemplates.size();
    std::vector<PointList> clusters(numTemplates + 1);
    size_t failures[3] = {0, 0, 0};  // single, combined, mixed
    std::vector<int> outcome;
    const int numFiles = data->numFiles();
    for (int f = 0; f < numFiles; ++f) {
        std::cout << "\n\tFile " << data->fileName(f, false) << " (" << f + 1 << " of " << numFiles << ").\n\t";
        const MCV_FcsHeader* file = data->header(f);
        const float* rows = data->rawData(f);
        const size_t events = file && rows ? static_cast<size_t>(std::max(0, file->numEvents())) : 0;
        // A file under ten events would make the step between marks zero.
        const size_t step = std::max<size_t>(1, events / 10);
        for (size_t begin = 0; begin < events; begin += kChunkEvents) {
            const size_t end = std::min(events, begin + kChunkEvents);
            outcome.resize(end - begin);
            classifyEvents(rows, width, begin, end, outcome.data());
            for (size_t k = begin; k < end; ++k) {
                if (k % step == 0) std::cout << (k / step) * 10 << "%..";
                const int result = outcome[k - begin];
                const size_t cluster = result >= 0 ? static_cast<size_t>(result) : numTemplates;
                if (result < 0) ++failures[-1 - result];
                clusters[cluster].emplace_back(f, static_cast<int>(k));
            }
            std::cout << std::flush;
        }
    }

    std::cout << "\n\n";
    size_t sum = 0;
    for (size_t c = 0; c < clusters.size(); ++c) {
        std::cout << "Cluster " << c << " contains " << clusters[c].size() << " cells.\n";
        sum += clusters[c].size();
    }
    std::cout << sum << " total cells clustered.\n"
              << failures[0] << " failed because all matches resulted in failures in a single marker.\n"
              << failures[1] << " failed because all matches resulted in failures the combined markers.\n"
              << failures[2] << " failed because of a mix of both.\n";

    m_result.clusters = std::move(clusters);
    computeMedianClusterExpression();
    computeMinimumSpanningTree();
    createDerivedData(true);
    std::cout << " done.\n" << std::flush;
    return true;
}

void MCV_TemplateAnalysis::createDerivedData(bool reuse) {
    std::cout << "Updating Clusters.\n";
    m_result.publish(m_name, reuse, m_dataSelection);
}

MCV_DerivedDataClusters* MCV_TemplateAnalysis::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return MCV_CytometryData::Instance()->derivedDataClusters(m_name, true);
}
