#include "analysis/clustering/MCV_ClusterResult.h"

#include "analysis/clustering/Boruvka.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <cmath>
#include <iostream>

MCV_ClusterResult::MCV_ClusterResult() = default;
MCV_ClusterResult::~MCV_ClusterResult() = default;

void MCV_ClusterResult::computeMedians(const std::vector<unsigned>& markers) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const int numFiles = data->numFiles();
    const MCV_FcsHeader* header = data->combinedHeader();
    const size_t width = header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;
    std::vector<const float*> rows(static_cast<size_t>(numFiles));
    for (int f = 0; f < numFiles; ++f) rows[static_cast<size_t>(f)] = data->rawData(f);
    medians.assign(clusters.size(), std::vector<float>(markers.size(), 0.0f));
    const long n = static_cast<long>(clusters.size());
#pragma omp parallel for schedule(dynamic, 1)
    for (long c = 0; c < n; ++c) {
        const PointList& members = clusters[static_cast<size_t>(c)];
        if (members.empty()) continue;
        std::vector<float> values(members.size());
        for (size_t k = 0; k < markers.size(); ++k) {
            for (size_t i = 0; i < members.size(); ++i) {
                const auto [file, event] = members[i];
                // Members come from the analyses' own loops over the data.
                values[i] = rows[static_cast<size_t>(file)][static_cast<size_t>(event) * width + markers[k]];
            }
            auto mid = values.begin() + static_cast<long>(values.size() / 2);
            // NaN (from a file) sorts last: a comparison that NaN breaks is
            // no order at all.
            std::nth_element(values.begin(), mid, values.end(),
                             [](float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
            medians[static_cast<size_t>(c)][k] = *mid;
        }
    }
}

void MCV_ClusterResult::computeSpanningTree() {
    if (clusters.empty() || medians.empty()) return;
    std::cout << "\nBuilding minimum spanning tree.. ";
    m_builder = std::make_unique<Boruvka>();
    m_builder->initGraph(&medians);
    m_builder->boruvkaMst();
    edges = m_builder->edgeList();
}

MCV_DerivedDataClusters* MCV_ClusterResult::publish(std::string& name, bool reuse, MCV_DerivedDataPoints* selection) {
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters(name, reuse);
    if (!set) return nullptr;
    name = set->name();
    // A result without edges (one cluster) would otherwise keep the links of
    // clusters that no longer exist.
    set->edges().clear();
    set->setClusters(clusters, selection, edges, nullptr);
    return set;
}
