// A hierarchy over a selection of the loaded data: the checks before a build
// and the input matrix, shared by the HSNE and focus-and-context analyses.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <iostream>

bool MCV_DerivedDataHierarchy::selectionBuildable(const std::string& name,
                                                  const std::vector<std::pair<int, int>>& points,
                                                  const std::vector<unsigned>& markers) {
    const auto least = static_cast<size_t>(MCV_TsneAnalysis::kMinPoints);
    if (points.size() < least) {
        std::cout << "HSNE: " << name << " needs at least " << least << " points; the data selection has "
                  << points.size() << "." << std::endl;
        return false;
    }
    if (markers.empty()) {
        std::cout << "HSNE: " << name << " has no marker selected." << std::endl;
        return false;
    }
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    if (!header || *std::max_element(markers.begin(), markers.end()) >=
                       static_cast<unsigned>(std::max(0, header->numVariables()))) {
        std::cout << "HSNE: " << name << " selects markers that the data do not have." << std::endl;
        return false;
    }
    // A selection made before the data were replaced may name events that no
    // longer exist.
    const int files = data->numFiles();
    for (const auto& p : points) {
        if (p.first < 0 || p.first >= files || p.second < 0 || p.second >= data->header(p.first)->numEvents()) {
            std::cout << "HSNE: the data selection of " << name << " refers to events that are not loaded."
                      << std::endl;
            return false;
        }
    }
    return true;
}

std::shared_ptr<MCV_DerivedDataHierarchy> MCV_DerivedDataHierarchy::forSelection(
    const std::string& name, std::vector<std::pair<int, int>>* points, const std::vector<unsigned>& markers,
    int numScales, const Hsne::Parameters& params) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const size_t variables = static_cast<size_t>(data->combinedHeader()->numVariables());
    const size_t d = markers.size();
    auto fresh = std::make_shared<MCV_DerivedDataHierarchy>();
    fresh->init(name, static_cast<int>(points->size()), static_cast<int>(d), numScales, params, points);
    std::vector<float>& input = *fresh->data();
    std::vector<const float*> matrices(static_cast<size_t>(data->numFiles()));
    for (size_t f = 0; f < matrices.size(); ++f) matrices[f] = data->rawData(static_cast<int>(f));
    const std::vector<std::pair<int, int>>& selected = *points;
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(selected.size()); ++li) {
        const auto i = static_cast<size_t>(li);
        const float* row =
            matrices[static_cast<size_t>(selected[i].first)] + static_cast<size_t>(selected[i].second) * variables;
        for (size_t k = 0; k < d; ++k) input[i * d + k] = row[markers[k]];
    }
    return fresh;
}
