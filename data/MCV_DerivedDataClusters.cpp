// Cluster sets: filling, selection, highlight, merging and the per-cluster
// statistics. The texts built from them are in MCV_DerivedDataClustersJson.cpp.
#include "data/MCV_DerivedDataClusters.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_PointStatistics.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <iostream>

MCV_DerivedDataClusters::MCV_DerivedDataClusters() { m_type = KindClusters; }

MCV_DerivedDataClusters::~MCV_DerivedDataClusters() = default;

void MCV_DerivedDataClusters::markAllStale() {
    m_medianStale = true;
    m_meanStale = true;
    m_stdDevStale = true;
    m_jsonStale = true;
    m_csvStale = true;
    m_originStale = true;
}

void MCV_DerivedDataClusters::setClusters(std::vector<PointList> clusters, MCV_DerivedDataPoints* reference,
                                          std::vector<Edge> edges, std::vector<std::vector<unsigned>>* landmarks) {
    m_clusters = std::move(clusters);
    m_hasReference = reference != nullptr;
    m_referenceCounts = reference ? reference->pointsPerFile() : std::vector<int>();
    const size_t n = m_clusters.size();
    m_clusterIndexMap.resize(n);
    m_names.resize(n);
    for (size_t i = 0; i < n; ++i) {
        m_clusterIndexMap[i] = static_cast<int>(i);
        m_names[i] = std::to_string(i + 1);
    }
    if (!edges.empty()) m_edges = std::move(edges);
    if (landmarks) m_landmarks = *landmarks;
    markAllStale();
    m_selection.assign(n, false);
    if (m_ui) m_ui->dataRefreshed(this);
}

std::string MCV_DerivedDataClusters::clusterName(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= m_names.size()) return std::string();
    return m_names[static_cast<size_t>(i)];
}

void MCV_DerivedDataClusters::setClusterName(int i, std::string name) {
    if (i < 0 || static_cast<size_t>(i) >= m_names.size()) return;
    m_names[static_cast<size_t>(i)] = std::move(name);
    m_jsonStale = true;
    m_csvStale = true;
    m_originStale = true;
    if (m_ui) m_ui->dataRefreshed(this);
}

int MCV_DerivedDataClusters::selectCluster(int id, bool add, std::vector<unsigned>& landmarks) {
    if (id < 0 || static_cast<size_t>(id) >= m_selection.size()) {
        std::cout << "ERROR: cluster could not be selected.\n";
        return -1;
    }
    if (!add) std::fill(m_selection.begin(), m_selection.end(), false);
    m_selection[static_cast<size_t>(id)] = !m_selection[static_cast<size_t>(id)];
    landmarks.clear();
    // A producer that gave no landmark lists contributes none.
    for (size_t c = 0; c < m_selection.size() && c < m_landmarks.size(); ++c)
        if (m_selection[c]) landmarks.insert(landmarks.end(), m_landmarks[c].begin(), m_landmarks[c].end());
    selectionRefreshed();
    return id;
}

int MCV_DerivedDataClusters::select(std::vector<int> indices) {
    if (m_clusters.empty()) return 0;
    m_selection.assign(m_clusters.size(), false);
    for (int i : indices) {
        if (i >= 0 && static_cast<size_t>(i) < m_selection.size())
            m_selection[static_cast<size_t>(i)] = true;
        else
            std::cout << "ERROR: problem with selection computation.\n";
    }
    selectionRefreshed();
    return computePointSelectionFromClusterSelection();
}

void MCV_DerivedDataClusters::resetSelectedClusters() { std::fill(m_selection.begin(), m_selection.end(), false); }

int MCV_DerivedDataClusters::numSelectedClusters() const {
    return static_cast<int>(std::count(m_selection.begin(), m_selection.end(), true));
}

int MCV_DerivedDataClusters::computePointSelectionFromClusterSelection() {
    PointList points;
    for (size_t c = 0; c < m_clusters.size() && c < m_selection.size(); ++c)
        if (m_selection[c]) points.insert(points.end(), m_clusters[c].begin(), m_clusters[c].end());
    const int count = static_cast<int>(points.size());
    MCV_CytometryData::Instance()->selectionPoints()->setPoints(std::move(points), true);
    return count;
}

void MCV_DerivedDataClusters::selectionRefreshed() {
    if (m_ui) m_ui->selectionRefreshed(this);
}

void MCV_DerivedDataClusters::highlightRefreshed() {
    if (m_ui) m_ui->highlightRefreshed(this);
}

void MCV_DerivedDataClusters::setHighlight(int id) {
    if (id == m_highlight) return;
    m_highlight = id;
    highlightRefreshed();
}

void MCV_DerivedDataClusters::mergeSelected() {
    std::vector<int> chosen;
    for (size_t c = 0; c < m_selection.size(); ++c)
        if (m_selection[c]) chosen.push_back(static_cast<int>(c));
    if (chosen.size() < 2) return;
    merge(chosen);
}

void MCV_DerivedDataClusters::merge(std::vector<int> indices) {
    const int n = numClusters();
    indices.erase(std::remove_if(indices.begin(), indices.end(), [n](int i) { return i < 0 || i >= n; }),
                  indices.end());
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    if (indices.empty()) return;

    m_highlight = -1;
    const int f = indices.front();
    const bool withLandmarks = m_landmarks.size() == m_clusters.size();
    for (size_t k = 1; k < indices.size(); ++k) {
        const size_t r = static_cast<size_t>(indices[k]);
        PointList& target = m_clusters[static_cast<size_t>(f)];
        target.insert(target.end(), m_clusters[r].begin(), m_clusters[r].end());
        if (withLandmarks) {
            std::vector<unsigned>& lm = m_landmarks[static_cast<size_t>(f)];
            lm.insert(lm.end(), m_landmarks[r].begin(), m_landmarks[r].end());
        }
    }

    // Where every cluster before the merge ends up: the merged ones at f, the
    // others shifted down past the removed ones.
    std::vector<int> newIndex(static_cast<size_t>(n));
    std::vector<bool> merged(static_cast<size_t>(n), false);
    for (int i : indices) merged[static_cast<size_t>(i)] = true;
    int removedBelow = 0;
    for (int i = 0; i < n; ++i) {
        if (merged[static_cast<size_t>(i)] && i != f) {
            newIndex[static_cast<size_t>(i)] = f;
            ++removedBelow;
        } else {
            newIndex[static_cast<size_t>(i)] = i - removedBelow;
        }
    }

    for (size_t k = indices.size() - 1; k >= 1; --k) {
        const long r = indices[k];
        m_clusters.erase(m_clusters.begin() + r);
        if (withLandmarks) m_landmarks.erase(m_landmarks.begin() + r);
        if (static_cast<size_t>(r) < m_names.size()) m_names.erase(m_names.begin() + r);
    }
    for (int& entry : m_clusterIndexMap)
        if (entry >= 0 && entry < n) entry = newIndex[static_cast<size_t>(entry)];

    // Edges follow their clusters; those inside the merged cluster, or naming
    // no cluster at all, are dropped.
    std::vector<Edge> edges;
    edges.reserve(m_edges.size());
    for (const Edge& e : m_edges) {
        const int s = std::get<0>(e);
        const int t = std::get<1>(e);
        if (s < 0 || s >= n || t < 0 || t >= n) continue;
        if (indices.size() > 1 && merged[static_cast<size_t>(s)] && merged[static_cast<size_t>(t)]) continue;
        edges.emplace_back(newIndex[static_cast<size_t>(s)], newIndex[static_cast<size_t>(t)], std::get<2>(e));
    }
    m_edges = std::move(edges);

    markAllStale();
    m_selection.assign(m_clusters.size(), false);
    if (m_ui) m_ui->dataRefreshed(this);
}

void MCV_DerivedDataClusters::computeMedianExpression() {
    if (!m_medianStale) return;
    const int V = MCV_PointStatistics::numVariables();
    const long n = static_cast<long>(m_clusters.size());
    m_median.assign(m_clusters.size(), std::vector<float>());
#pragma omp parallel for schedule(static)
    for (long c = 0; c < n; ++c)
        MCV_PointStatistics::median(MCV_PointStatistics::rows(m_clusters[static_cast<size_t>(c)]), V,
                                    &m_median[static_cast<size_t>(c)], false);
    m_medianStale = false;
}

void MCV_DerivedDataClusters::computeMeanExpression() {
    if (!m_meanStale) return;
    const int V = MCV_PointStatistics::numVariables();
    const long n = static_cast<long>(m_clusters.size());
    m_mean.assign(m_clusters.size(), std::vector<float>());
#pragma omp parallel for schedule(static)
    for (long c = 0; c < n; ++c)
        MCV_PointStatistics::mean(MCV_PointStatistics::rows(m_clusters[static_cast<size_t>(c)]), V,
                                  &m_mean[static_cast<size_t>(c)], false);
    m_meanStale = false;
}

void MCV_DerivedDataClusters::computeStandardDeviation() {
    if (!m_stdDevStale) return;
    computeMeanExpression();
    const int V = MCV_PointStatistics::numVariables();
    const long n = static_cast<long>(m_clusters.size());
    m_stdDev.assign(m_clusters.size(), std::vector<float>());
#pragma omp parallel for schedule(static)
    for (long c = 0; c < n; ++c)
        MCV_PointStatistics::deviation(MCV_PointStatistics::rows(m_clusters[static_cast<size_t>(c)]), V,
                                       m_mean[static_cast<size_t>(c)], &m_stdDev[static_cast<size_t>(c)], false);
    m_stdDevStale = false;
}

void MCV_DerivedDataClusters::invalidateStatistics() { markAllStale(); }

void MCV_DerivedDataClusters::updateSpadePositions(std::string positions) {
    m_spadePositions = std::move(positions);
    if (m_ui) m_ui->spadeTreeRefreshed(this);
}
