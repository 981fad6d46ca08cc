// Engine set-up, the embed loop and the output of the focus-and-context
// analysis: positions into the tree and the data, clusters and render values.
#include "analysis/fc/MCV_HsneFCAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/fc/MCV_FCEventCover.h"
#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/separateCoincidentPoints.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneEmbedLoop.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_OutputVariables.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"

#include <algorithm>
#include <ctime>
#include <cassert>
#include <cmath>
#include <iostream>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

// ---- Set-up ----

bool MCV_HsneFCAnalysis::gpuEngineActive() const { return m_engineReady && m_gpuActive; }

bool MCV_HsneFCAnalysis::positionsMatchPoints() const {
    return m_embedding && m_embedding->getContainer().size() == 2 * m_pointNodes.size();
}

vel::dr::TsneParameters MCV_HsneFCAnalysis::descentParameters(size_t rows, bool keepPositions) const {
    vel::dr::TsneParameters params;
    // The seed that fixes the hierarchy fixes the random start as well, so
    // that the same input and settings give the same map on any thread count;
    // without one (0 or below) the clock seeds both.
    params.seed = seed() > 0 ? seed() : -1;
    params.embeddingDimensionality = 2;
    params.minimumGain = 0.1;
    params.learningRate = 200;
    params.momentum = 0.2;
    params.presetEmbedding = false;
    if (keepPositions) {
        // The points start where they were: no early exaggeration.
        params.initialSpread = 1.0f;
        params.finalMomentum = m_momentumRefine;
        params.momentumSwitchIteration = 0;
        params.exaggerationFactor = 1.0;
        params.removeExaggerationIteration = 0;
        params.exaggerationDecayIterations = 0;
    } else {
        params.initialSpread = 0.1f;
        params.finalMomentum = 0.5;
        params.momentumSwitchIteration = static_cast<double>(m_exaggerationIter);
        params.exaggerationFactor = std::min(static_cast<double>(rows) / 5000.0 + 10.0, 40.0);
        params.removeExaggerationIteration = static_cast<std::uint32_t>(std::max(0, m_exaggerationIter));
        params.exaggerationDecayIterations = static_cast<std::uint32_t>(std::max(0, m_expDecay));
    }
    return params;
}

void MCV_HsneFCAnalysis::reInitEmbedding(bool keepPositions) {
    // A loop on the stack ends after its current iteration; the engine it
    // used is not touched again.
    stopRunning();
    buildMixedTransitionMatrix();
    setUpEngine(keepPositions);
}

bool MCV_HsneFCAnalysis::setUpEngine(bool keepPositions) {
    m_engineReady = false;
    m_eventOwnersReady = false;
    const size_t rows = m_mixedTransitionMatrix.size();
    if (rows < static_cast<size_t>(MCV_TsneAnalysis::kMinPoints)) {
        std::cout << "HSNE: " << m_name << " has " << rows << " points to embed; it needs at least "
                  << MCV_TsneAnalysis::kMinPoints << "." << std::endl;
        // The views and the columns take the points where the tree holds them.
        m_output.clear();
        return false;
    }
    m_cpuEngine.reset();
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
    const vel::dr::TsneParameters params = descentParameters(rows, keepPositions);
    m_gpuActive = false;
    if (m_useGpu) {
        if (!m_gpu) m_gpu = std::make_unique<MCV_GpuGradientDescent>();
        m_gpuActive = m_gpu->initialize(m_mixedTransitionMatrix, m_embedding.get(), params);
        if (!m_gpuActive) std::cout << "HSNE: the GPU is not available; " << m_name << " runs on the CPU." << std::endl;
    }
    if (!m_gpuActive) {
        m_cpuEngine = std::make_unique<CpuEngine>();
        // Exact gradient up to 1000 points, then a theta growing to 0.5.
        m_cpuEngine->setTheta(std::min(std::max((static_cast<double>(rows) - 1000) * 0.00005, 0.0), 0.5));
        m_cpuEngine->initialize(m_mixedTransitionMatrix, m_embedding.get(), params);
    }
    if (keepPositions) placeKeptPositions();
    m_output = m_embedding->getContainer();
    m_engineReady = true;
    return true;
}

void MCV_HsneFCAnalysis::placeKeptPositions() {
    if (!positionsMatchPoints()) return;
    const size_t n = m_pointNodes.size();
    const auto leafPosition = [&](size_t i, size_t d) {
        const PointNode& p = m_pointNodes[i];
        return p.first->coordinates.at(2 * static_cast<size_t>(p.second) + d);
    };
    if (m_rescaleFactor == 0.0f) {
        // 10 over the largest absolute coordinate; none: the previous factor.
        float largest = 0.f;
        for (size_t i = 0; i < n; ++i)
            largest = std::max({largest, std::fabs(leafPosition(i, 0)), std::fabs(leafPosition(i, 1))});
        m_rescaleFactor = largest > 0.f && std::isfinite(largest) ? 10.f / largest : m_lastRescaleFactor;
    }
    m_lastRescaleFactor = m_rescaleFactor;
    std::cout << "rescale factor = " << m_rescaleFactor << std::endl;
    std::vector<float>& y = m_embedding->getContainer();
    for (size_t i = 0; i < n; ++i) {
        y[2 * i] = m_rescaleFactor * leafPosition(i, 0);
        y[2 * i + 1] = m_rescaleFactor * leafPosition(i, 1);
    }
    // New landmarks start at their strongest held neighbour, many of them on
    // one position; parted by up to a unit (two pixels of the GPU engine's
    // field), the descent spreads them as their neighbourhood says.
    const std::uint32_t seed = settings().seed > 0 ? static_cast<std::uint32_t>(settings().seed)
                                                   : static_cast<std::uint32_t>(std::time(nullptr));
    separateCoincidentPoints(y, seed, 1.f);
}

// ---- Embed loop ----

void MCV_HsneFCAnalysis::iterate() {
    if (m_gpuActive)
        m_gpu->doAnIteration(1.0);
    else
        m_cpuEngine->doAnIteration(1.0);
    std::vector<float> box;
    m_embedding->computeEmbeddingBBox(box, 0.1f, true);
    m_embeddingExtent = box.empty() ? 0.f : *std::max_element(box.begin(), box.end());
    m_output = m_embedding->getContainer();
    // Stop, delete and new requests arrive inside this call.
    if (!m_markedForDeletion && m_ui) m_ui->analysisUpdated(this);
}

void MCV_HsneFCAnalysis::embedLoop() {
    if (!m_hierarchy || m_markedForDeletion) return;
    if (!m_engineReady || !positionsMatchPoints()) {
        std::cout << "HSNE: " << m_name << " has nothing to embed." << std::endl;
        // The columns still follow the points the map shows now: no event
        // keeps a position of an earlier map.
        m_missingOutputReported = false;
        writeHsneChannels();
        return;
    }
    m_running = true;
    m_missingOutputReported = false;
    runHsneEmbedLoop(
        m_name, m_iterations, 10, m_running, [this] { iterate(); }, [this] { writeHsneChannels(); },
        [this] {
            // A stop has handed the positions to the tree already.
            if (!m_running) return;
            m_running = false;
            updateTreeCoordinates();
        });
}

// ---- Positions out ----

void MCV_HsneFCAnalysis::updateTreeCoordinates() {
    std::cout << "\nSetting coordinates in tree.\n";
    // The points changed since the last set-up: the tree keeps what it has.
    if (!positionsMatchPoints()) return;
    const std::vector<float>& y = m_embedding->getContainer();
    for (size_t i = 0; i < m_pointNodes.size(); ++i) {
        HierarchyNode& leaf = *m_pointNodes[i].first;
        const size_t j = static_cast<size_t>(m_pointNodes[i].second);
        if (2 * j + 1 >= leaf.coordinates.size()) continue;
        leaf.coordinates[2 * j] = y[2 * i];
        leaf.coordinates[2 * j + 1] = y[2 * i + 1];
    }
}

void MCV_HsneFCAnalysis::writeHsneChannels() {
    if (!m_hierarchy) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    const int x = header ? header->variableIdx(MCV_OutputVariables::HsneDataX) : -1;
    const int y = header ? header->variableIdx(MCV_OutputVariables::HsneDataY) : -1;
    if ((x < 0 || y < 0) && !m_missingOutputReported) {
        // Writing at column -1 would overwrite the previous event's last value.
        std::cout << "HSNE: the data have no variable "
                  << (x < 0 ? MCV_OutputVariables::HsneDataX : MCV_OutputVariables::HsneDataY) << "; the embedding of "
                  << m_name << " is not written into the data." << std::endl;
        m_missingOutputReported = true;
    }
    if (!header || x < 0 || y < 0) return;

    const size_t variables = static_cast<size_t>(header->numVariables());
    const size_t files = static_cast<size_t>(std::max(0, data->numFiles()));
    bool same =
        m_eventOwners.size() == files && m_eventOwnerPoints == std::min(m_pointNodes.size(), m_output.size() / 2);
    for (size_t f = 0; same && f < files; ++f)
        same =
            m_eventOwners[f].size() == static_cast<size_t>(std::max(0, data->header(static_cast<int>(f))->numEvents()));
    if (!m_eventOwnersReady || !same) findEventOwners(files);
    for (size_t f = 0; f < files; ++f) {
        float* matrix = data->rawData(static_cast<int>(f));
        const std::vector<int>& owners = m_eventOwners[f];
        // Every event is written once, by its own owner: the same values as
        // clearing all and writing the points in order, on any thread count.
#pragma omp parallel for schedule(static)
        for (long long e = 0; e < static_cast<long long>(owners.size()); ++e) {
            float* row = matrix + static_cast<size_t>(e) * variables;
            const int owner = owners[static_cast<size_t>(e)];
            row[x] = owner >= 0 ? m_output[2 * static_cast<size_t>(owner)] : 0.f;
            row[y] = owner >= 0 ? m_output[2 * static_cast<size_t>(owner) + 1] : 0.f;
        }
    }
    data->valuesChanged();
    if (m_dataSelection) m_dataSelection->refreshed(this);
}

void MCV_HsneFCAnalysis::findEventOwners(size_t files) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    m_eventOwners.assign(files, std::vector<int>());
    for (size_t f = 0; f < files; ++f)
        m_eventOwners[f].assign(static_cast<size_t>(std::max(0, data->header(static_cast<int>(f))->numEvents())), -1);
    const size_t n = std::min(m_pointNodes.size(), m_output.size() / 2);
    m_eventOwnerPoints = n;
    // Each point a cluster of its own: the rule that gives an event to a
    // cluster gives it to the point of the finest landmark standing for it,
    // so that an event's position is always that of the landmark whose
    // cluster holds it.
    std::vector<unsigned> points(n);
    for (size_t i = 0; i < n; ++i) points[i] = static_cast<unsigned>(i);
    const std::vector<MCV_FCEventCover::Landmark> landmarks = landmarksOfPoints(points);
    std::vector<std::vector<MCV_FCEventCover::Landmark>> groups(landmarks.size());
    for (size_t i = 0; i < landmarks.size(); ++i) groups[i].push_back(landmarks[i]);
    const std::vector<std::vector<MCV_FCEventCover::Event>> events = eventCover().partitionEvents(groups);
    for (size_t i = 0; i < events.size(); ++i)
        for (const MCV_FCEventCover::Event& ref : events[i]) {
            // The hierarchy's events may lie beyond the data of now.
            if (ref.first < 0 || static_cast<size_t>(ref.first) >= files || ref.second < 0 ||
                static_cast<size_t>(ref.second) >= m_eventOwners[static_cast<size_t>(ref.first)].size())
                continue;
            m_eventOwners[static_cast<size_t>(ref.first)][static_cast<size_t>(ref.second)] = static_cast<int>(i);
        }
    m_eventOwnersReady = true;
}

// ---- Clusters and render values ----

std::vector<std::pair<int, unsigned>> MCV_HsneFCAnalysis::landmarksOfPoints(const std::vector<unsigned>& points) const {
    std::vector<MCV_FCEventCover::Landmark> landmarks;
    landmarks.reserve(points.size());
    for (unsigned p : points) {
        // The views may hold a selection made before the points changed.
        if (p >= m_pointNodes.size()) continue;
        const PointNode& node = m_pointNodes[p];
        landmarks.emplace_back(node.first->scale, node.first->landmarkIdxs.at(static_cast<size_t>(node.second)));
    }
    return landmarks;
}

MCV_DerivedDataClusters* MCV_HsneFCAnalysis::updateClusters(std::vector<std::vector<unsigned>>* clusters,
                                                            std::string name) {
    if (!clusters) return nullptr;
    // Points beyond the embedding (a selection older than the last change)
    // are left out of both the events and the index lists.
    std::vector<std::vector<unsigned>> inside(clusters->size());
    std::vector<std::vector<MCV_FCEventCover::Landmark>> landmarks(clusters->size());
    for (size_t k = 0; k < clusters->size(); ++k) {
        for (unsigned p : (*clusters)[k])
            if (p < m_pointNodes.size()) inside[k].push_back(p);
        landmarks[k] = landmarksOfPoints(inside[k]);
    }
    // The leaves stand for many of the same events: each goes to one cluster.
    std::vector<std::vector<std::pair<int, int>>> references =
        m_hierarchy ? eventCover().partitionEvents(landmarks)
                    : std::vector<std::vector<std::pair<int, int>>>(clusters->size());
    // The analysis' own set, never one of that name another analysis filled
    // or left (see ownedClusters).
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->ownedClusters(name + " - " + m_name, serial(), true);
    if (!set) return nullptr;
    set->setClusters(std::move(references), ownPoints(), std::vector<std::tuple<int, int, float>>(), &inside);
    return set;
}

void MCV_HsneFCAnalysis::computePointReferencesForLandmarkIdxs(std::vector<unsigned>* points,
                                                               std::vector<std::pair<int, int>>* refs,
                                                               std::vector<bool>* fileMask) {
    if (!refs) return;
    refs->clear();
    if (!points || !m_hierarchy) return;
    eventCover().distinctEvents(landmarksOfPoints(*points), fileMask, *refs);
}

void MCV_HsneFCAnalysis::pointScaleForSampleSelection(std::vector<bool>, std::vector<float>& values,
                                                      std::vector<float>& ranges) {
    ranges.assign({1.f, -1.f, -1.f, -1.f});
    const size_t n = m_pointNodes.size();
    values.assign(4 * n, 0.f);
    int smallest = 999, largest = 0;
    std::unordered_map<const HierarchyNode*, std::unordered_set<unsigned>> heldBySplit;
    for (size_t i = 0; i < n && m_hierarchy; ++i) {
        const NodePtr& leaf = m_pointNodes[i].first;
        const size_t j = static_cast<size_t>(m_pointNodes[i].second);
        std::vector<unsigned> one{leaf->landmarkIdxs.at(j)};
        const int depth = m_activeNumScales - leaf->scale;

        std::vector<float> w;
        m_hierarchy->landmarkWeights(leaf->scale, &w, &one);
        const float weight = std::max(w.empty() ? 0.f : w[0], 0.1f);
        const MCV_DerivedDataHierarchy::PointList* refs =
            m_hierarchy->pointBasedHierarchyForLandmark({leaf->scale, one[0]});
        const float count = refs ? static_cast<float>(refs->size()) : 0.1f;

        float focus = 2.f;
        if (leaf->isFocus()) {
            // Inside the nearest split above the leaf: 1 when that split's
            // node holds the landmark, 0 when not; 1 without a split.
            NodePtr a = leaf->parent.lock();
            while (a && !(m_fcTree && m_fcTree->hasSiblings(a))) a = a->parent.lock();
            if (!a) {
                focus = 1.f;
            } else {
                auto held = heldBySplit.find(a.get());
                if (held == heldBySplit.end())
                    held =
                        heldBySplit
                            .emplace(a.get(), std::unordered_set<unsigned>(a->globalIdxs.begin(), a->globalIdxs.end()))
                            .first;
                focus = held->second.count(leaf->globalIdxs.at(j)) ? 1.f : 0.f;
            }
        }
        values[4 * i] = static_cast<float>(depth);
        values[4 * i + 1] = weight;
        values[4 * i + 2] = count;
        values[4 * i + 3] = focus;
        ranges[1] = std::max(ranges[1], weight);
        ranges[2] = std::max(ranges[2], count);
        smallest = std::min(smallest, depth);
        largest = std::max(largest, depth);
    }
    ranges[0] = static_cast<float>(largest - smallest);
}
