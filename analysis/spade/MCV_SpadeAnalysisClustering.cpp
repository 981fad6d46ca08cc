// From the kept events to the published clusters: the dendrogram of the kept
// events of all files, its cut into the target number of clusters, their
// medians and spanning tree, and the up-sampling of every other event to the
// cluster with the nearest median.
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "analysis/clustering/MCV_L1Columns.h"
#include "analysis/spade/MCV_SpadeProgress.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iostream>
#include <limits>
#include <list>

void MCV_SpadeAnalysis::clearDendrogram() {
    m_dendrogram.clear();
    m_dendrogramPoints.clear();
}

bool MCV_SpadeAnalysis::clusterDownsampledData() {
    if (!m_due.densities && !m_due.downsampling) return false;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    std::cout << "\nFiles Combined.\n\nComputing hierachical clustering and Dendrogram ..";
    clearDendrogram();
    const size_t width = rowWidth();
    std::list<cPoint_t*> points;
    for (int file = 0; file < static_cast<int>(m_downsampledEvents.size()); ++file) {
        const std::vector<unsigned>& kept = m_downsampledEvents[static_cast<size_t>(file)];
        if (kept.empty()) {
            std::cout << "\tNo active samples in file " << data->header(file)->fileName() << ".";
            continue;
        }
        const float* values = rows(file);
        for (unsigned event : kept) {
            assert(event < static_cast<unsigned>(numEvents(file)));
            auto point = std::make_unique<cPoint_t>();
            const float* row = values + static_cast<size_t>(event) * width;
            point->coordinates.reserve(m_selectedMarkers.size());
            for (unsigned m : m_selectedMarkers) point->coordinates.push_back(static_cast<double>(row[m]));
            point->distance = 99999999.9;
            point->eventIdx = static_cast<int>(event);
            point->fileIdx = file;
            points.push_back(point.get());
            m_dendrogramPoints.push_back(std::move(point));
        }
    }
    std::cout << "\n\tInput reduced, " << points.size() << " points remain." << std::flush;
    if (points.empty()) return true;
    report("Hierarchical clustering", 0);
    hcluster_points(points, m_dendrogram, false);
    report("Hierarchical clustering", 100);
    return true;
}

bool MCV_SpadeAnalysis::extractClustersFromDendrogram() {
    if (!m_due.densities && !m_due.downsampling && !m_due.clustering) return false;
    // The cut needs between one and as many clusters as there are points.
    const int available = static_cast<int>(m_dendrogram.size());
    const int target = std::clamp(m_targetNumberOfClusters, 1, std::max(1, available));
    if (target != m_targetNumberOfClusters) {
        std::cout << "\tTarget number of clusters " << m_targetNumberOfClusters << " is out of range, using " << target
                  << " (1 to " << available << " points).\n";
        noteAdjustment(Adjustment::TargetClusters, m_targetNumberOfClusters, target);
    }
    std::cout << "\tTargeting " << target << " clusters from Dendrogram .. ";
    std::vector<std::list<cPoint_t*>> lists;
    compute_n_clusters(target, m_dendrogram, lists);
    std::cout << "done with " << lists.size() << " clusters.\n";

    std::vector<PointList>& clusters = m_result.clusters;
    clusters.assign(lists.size(), PointList());
    long total = 0;
    const long numLists = static_cast<long>(lists.size());
#pragma omp parallel for schedule(static) reduction(+ : total)
    for (long c = 0; c < numLists; ++c) {
        PointList& members = clusters[static_cast<size_t>(c)];
        for (const cPoint_t* p : lists[static_cast<size_t>(c)]) {
            // The points are this analysis's own kept events.
            assert(p->fileIdx >= 0 && p->fileIdx < static_cast<int>(m_keepMasks.size()));
            assert(p->eventIdx >= 0 &&
                   static_cast<size_t>(p->eventIdx) < m_keepMasks[static_cast<size_t>(p->fileIdx)].size());
            members.emplace_back(p->fileIdx, p->eventIdx);
        }
        total += static_cast<long>(members.size());
    }
    std::cout << "\tTotal number of points in clusters: " << total << ".\n";
    computeMedianClusterExpression();
    return true;
}

void MCV_SpadeAnalysis::computeMedianClusterExpression() { m_result.computeMedians(m_selectedMarkers); }

float MCV_SpadeAnalysis::distance(const float* a, const float* b, const std::vector<unsigned>* markers) {
    if (!a || !b || !markers) return 0.0f;
    bool exceeded = false;
    return MCV_L1Columns<float>::rowDistance(a, b, *markers, std::numeric_limits<float>::infinity(), &exceeded);
}

float MCV_SpadeAnalysis::distance(const std::vector<float>* a, const std::vector<float>* b) {
    if (!a || !b) return 0.0f;
    return MCV_L1Columns<float>::pairDistance(a->data(), b->data(), std::min(a->size(), b->size()));
}

bool MCV_SpadeAnalysis::computeMinimumSpanningTree() {
    if (!m_due.densities && !m_due.downsampling && !m_due.clustering) return false;
    // A result without clusters keeps no edges of an earlier one.
    m_result.edges.clear();
    m_result.computeSpanningTree();
    return true;
}

bool MCV_SpadeAnalysis::upsampleData(int file) {
    if (!m_due.densities && !m_due.downsampling && !m_due.clustering) return false;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    if (file == 0) std::cout << "\nUpsampling data ..";
    std::cout << "\n\tFile " << data->fileName(file, false) << " (" << (file + 1) << " of " << data->numFiles()
              << ").\n\t" << std::flush;

    const size_t n = static_cast<size_t>(numEvents(file));
    const std::vector<bool>& keep = m_keepMasks[static_cast<size_t>(file)];
    std::vector<PointList>& clusters = m_result.clusters;
    const size_t markers = m_selectedMarkers.size();
    MCV_L1Columns<float> medians;
    medians.reset(markers);
    for (const std::vector<float>& median : m_result.medians) medians.append(median.data());
    const size_t numClusters = medians.size();
    if (numClusters == 0 || keep.size() != n) {
        std::cout << " done.\n";
        return true;
    }

    const size_t width = rowWidth();
    const float* values = rows(file);
    MCV_SpadeProgress progress(m_progress, "Up-sampling " + data->fileName(file, true), n,
                               MCV_SpadeProgress::Marks::AtIndex);
    const size_t block = progress.blockSize(static_cast<double>(numClusters) * static_cast<double>(markers), 1);
    std::vector<int> nearest(block);
    for (size_t first = 0; first < n; first += block) {
        const size_t end = std::min(n, first + block);
        const long count = static_cast<long>(end - first);
#pragma omp parallel
        {
            std::vector<float> query(markers), distances(numClusters);
#pragma omp for schedule(static)
            for (long k = 0; k < count; ++k) {
                const size_t event = first + static_cast<size_t>(k);
                if (keep[event]) {
                    nearest[static_cast<size_t>(k)] = -1;
                    continue;
                }
                const float* row = values + event * width;
                for (size_t m = 0; m < markers; ++m) query[m] = row[m_selectedMarkers[m]];
                medians.distances(query.data(), 0, numClusters, distances.data());
                // The first cluster, then only strictly nearer ones: ties go
                // to the lower index, and an event far from every median (or
                // with NaN distances, ranked after every number) still joins
                // exactly one cluster.
                size_t best = 0;
                for (size_t c = 1; c < numClusters; ++c) {
                    const float d = distances[c], b = distances[best];
                    if (d < b || (std::isnan(b) && !std::isnan(d))) best = c;
                }
                nearest[static_cast<size_t>(k)] = static_cast<int>(best);
            }
        }
        // Appended in event order, as a serial loop would.
        for (size_t k = 0; k < end - first; ++k)
            if (nearest[k] >= 0)
                clusters[static_cast<size_t>(nearest[k])].emplace_back(file, static_cast<int>(first + k));
        progress.advance(end);
    }
    std::cout << " done.\n";
    return true;
}
