// The probability step of the A-tSNE analysis: the subset's marker values and
// their sparse joint probabilities.
#include "MCV_TsneAnalysis.h"

#include "analysis/MCV_ProgressBar.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"

#include "vel/utils/CoutLog.h"
#include "vel/utils/HDJointProbabilityGenerator.h"
#include "vel/utils/Timer.h"

#include <algorithm>
#include <cassert>
#include <iostream>

namespace {

size_t variableCount(MCV_CytometryData* data) {
    MCV_FcsHeader* header = data->combinedHeader();
    return header && header->numVariables() > 0 ? static_cast<size_t>(header->numVariables()) : 0;
}

}  // namespace

bool MCV_TsneAnalysis::checkRunnable(const std::vector<std::pair<int, int>>& points) const {
    const size_t n = points.size();
    if (n == 0) {
        std::cout << "A-tSNE: nothing to embed: the data selection of " << m_name << " is empty." << std::endl;
        return false;
    }
    if (n < static_cast<size_t>(kMinPoints)) {
        std::cout << "A-tSNE: " << m_name << " needs at least " << kMinPoints
                  << " points to embed; the data selection has " << n << "." << std::endl;
        return false;
    }
    if (m_selectedMarkers.empty()) {
        std::cout << "A-tSNE: " << m_name << " has no marker selected." << std::endl;
        return false;
    }
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const size_t variables = variableCount(data);
    // The marker list is built from flags sized to the combined header, and
    // variables are only ever added.
    assert(m_selectedMarkers.back() < variables);
    if (m_selectedMarkers.back() >= variables) {
        std::cout << "A-tSNE: " << m_name << " selects markers that the data do not have." << std::endl;
        return false;
    }
    // A selection made before the data were replaced may name events that no
    // longer exist: reading them would run past the event matrices.
    const int files = data->numFiles();
    std::vector<int> events(static_cast<size_t>(std::max(files, 0)));
    for (int f = 0; f < files; ++f) events[static_cast<size_t>(f)] = data->header(f)->numEvents();
    for (const auto& p : points) {
        if (p.first < 0 || p.first >= files || p.second < 0 || p.second >= events[static_cast<size_t>(p.first)]) {
            std::cout << "A-tSNE: the data selection of " << m_name << " refers to events that are not loaded."
                      << std::endl;
            return false;
        }
    }
    return true;
}

bool MCV_TsneAnalysis::computeProbabilities() {
    static const std::vector<std::pair<int, int>> none;
    const std::vector<std::pair<int, int>>& selection = m_dataSelection ? m_dataSelection->data() : none;
    if (!checkRunnable(selection)) return false;

    MCV_CytometryData* data = MCV_CytometryData::Instance();
    m_pointReferences = selection;
    keepOwnPoints(m_pointReferences);
    m_numPoints = static_cast<int>(m_pointReferences.size());
    const size_t n = m_pointReferences.size();
    // The engines of an earlier set-up embed other points: nothing may resume
    // them until the next set-up.
    m_engine = Engine::None;

    // Small subsets lower the perplexity for this run only, never below 1;
    // the setting stays what the user chose.
    float perplexity = static_cast<float>(std::max(1, m_perplexity));
    if (n < 4 * static_cast<size_t>(perplexity)) perplexity = static_cast<float>(std::max<size_t>(1, n / 4));
    m_runPerplexity = perplexity;

    const size_t variables = variableCount(data);
    const std::vector<unsigned>& markers = m_selectedMarkers;
    const size_t d = markers.size();
    m_outputFileIdxs.assign(n, 0);
    m_highDimensionalData.assign(n * d, 0.f);
    m_highDimensionalDims = static_cast<unsigned>(d);
    m_pointValues.assign(n * variables, 0.f);
    std::vector<const float*> matrices(static_cast<size_t>(data->numFiles()));
    for (size_t f = 0; f < matrices.size(); ++f) matrices[f] = data->rawData(static_cast<int>(f));
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const size_t i = static_cast<size_t>(li);
        const auto& ref = m_pointReferences[i];
        const float* row = matrices[static_cast<size_t>(ref.first)] + static_cast<size_t>(ref.second) * variables;
        m_outputFileIdxs[i] = ref.first;
        for (size_t k = 0; k < d; ++k) m_highDimensionalData[i * d + k] = row[markers[k]];
        std::copy(row, row + variables, m_pointValues.begin() + static_cast<std::ptrdiff_t>(i * variables));
    }
    m_numDiscreteMetaValues = m_dataSelection->numDiscreteMetaValues();

    using Generator = vel::dr::HDJointProbabilityGenerator<float, SparseMatrix>;
    Generator::Parameters params;
    params.perplexity = perplexity;
    params.perplexityMultiplier = 3;
    params.numTrees = m_numTrees;
    params.aknnNumChecks = m_numChecks;
    params.knnLibrary = m_knnLibrary;
    params.knnMetric = m_knnMetric;

    std::cout << "tSNE initialized.";
    SparseMatrix().swap(m_probabilities);
    m_probabilities.resize(n);
    std::cout << "Sparse matrix allocated.";
    std::cout << "Computing high dimensional probability distributions.\nNum dimensions: " << d
              << ".\nNum data-points: " << n << "\n"
              << std::flush;

    vel::utils::Timer timer;
    timer.start();
    Generator generator;
    generator.setLogger(m_logger.get());
    // The conditional rows: both engines symmetrise them into a joint matrix of
    // their own, so the analysis and a running engine hold the probabilities
    // before and after symmetrisation once each.
    generator.computeProbabilityDistributions(m_highDimensionalData.data(), static_cast<unsigned>(d),
                                              static_cast<unsigned>(n), m_probabilities, params);
    timer.stop();

    std::cout << "Probability distributions calculated.";
    MCV_ProgressBar::separator(std::cout);
    std::cout << "A-tSNE: Compute probability distribution: "
              << static_cast<double>(timer.elapsedMicroseconds()) / 1000 / 1000 << " seconds";
    MCV_ProgressBar::separator(std::cout);
    std::cout << std::flush;

    if (m_ui) m_ui->analysisInitialized(this);
    return true;
}
