// Engine set-up, the embed loop and the output variables of an HSNE level.
#include "analysis/hsne/MCV_HsneAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/hsne/MCV_HsneEmbedLoop.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_OutputVariables.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"

#include <algorithm>
#include <exception>
#include <iostream>

// ---- Set-up ----

const MCV_HsneAnalysis::SparseMatrix* MCV_HsneAnalysis::matrix() const {
    if (m_ownMatrix) return m_ownMatrix.get();
    return m_hierarchy ? m_hierarchy->transitionMatrix(m_scale) : nullptr;
}

bool MCV_HsneAnalysis::gpuEngineActive() const { return m_engineReady && m_gpuActive; }

vel::dr::TsneParameters MCV_HsneAnalysis::descentParameters(size_t rows) const {
    vel::dr::TsneParameters params;
    // The seed that fixes the hierarchy fixes the level's random start as
    // well, so that the same input and settings give the same map on any
    // thread count; without one (0 or below) the clock seeds both.
    params.seed = m_seed > 0 ? m_seed : -1;
    params.initialSpread = 0.1f;
    params.embeddingDimensionality = 2;
    params.minimumGain = 0.1;
    params.learningRate = 200;
    params.momentum = 0.2;
    params.finalMomentum = 0.5;
    params.momentumSwitchIteration = static_cast<double>(m_exaggerationIter);
    // Larger levels separate early only with a stronger exaggeration, capped.
    params.exaggerationFactor = std::min(static_cast<double>(rows) / 5000.0 + 10.0, 40.0);
    params.removeExaggerationIteration = static_cast<std::uint32_t>(std::max(0, m_exaggerationIter));
    params.exaggerationDecayIterations = static_cast<std::uint32_t>(std::max(0, m_expDecay));
    params.presetEmbedding = false;
    return params;
}

bool MCV_HsneAnalysis::setUpEngine() {
    m_engineReady = false;
    if (!bound()) return false;
    // A level its hierarchy analysis has dropped or outlived keeps the seed
    // it last had.
    if (m_owner) m_seed = m_owner->seed();
    const SparseMatrix* p = matrix();
    const size_t rows = p ? p->size() : 0;
    const int landmarks =
        m_landmarkIdxs ? static_cast<int>(m_landmarkIdxs->size()) : m_hierarchy->numLandmarksInScale(m_scale);
    if (rows < static_cast<size_t>(MCV_TsneAnalysis::kMinPoints) || static_cast<int>(rows) != landmarks) {
        std::cout << "HSNE: " << m_name << " has " << std::max(landmarks, 0) << " landmarks; a level needs at least "
                  << MCV_TsneAnalysis::kMinPoints << " landmarks." << std::endl;
        return false;
    }
    try {
        m_cpuEngine.reset();
        m_embedding = std::make_unique<vel::data::Embedding<float>>();
        const vel::dr::TsneParameters params = descentParameters(rows);
        m_gpuActive = false;
        if (m_useGpu) {
            if (!m_gpu) m_gpu = std::make_unique<MCV_GpuGradientDescent>();
            m_gpuActive = m_gpu->initialize(*p, m_embedding.get(), params);
            if (!m_gpuActive)
                std::cout << "HSNE: the GPU is not available; " << m_name << " runs on the CPU." << std::endl;
        }
        if (m_gpuActive) {
            m_cpuEngine.reset();
        } else {
            m_cpuEngine = std::make_unique<CpuEngine>();
            // Exact gradient up to 1000 landmarks, then a theta growing to 0.5.
            m_cpuEngine->setTheta(std::min(std::max((static_cast<double>(rows) - 1000) * 0.00005, 0.0), 0.5));
            m_cpuEngine->initialize(*p, m_embedding.get(), params);
        }
    } catch (const std::exception& e) {
        std::cout << "[ERROR] HSNE: " << m_name << " cannot be set up: " << e.what() << std::endl;
        return false;
    }
    m_output = m_embedding->getContainer();
    m_engineReady = true;
    return true;
}

// ---- Embed loop ----

void MCV_HsneAnalysis::iterate() {
    if (m_gpuActive)
        m_gpu->doAnIteration(1.0);
    else
        m_cpuEngine->doAnIteration(1.0);
    m_output = m_embedding->getContainer();
    // Stop, delete and restart requests arrive inside this call.
    if (!m_markedForDeletion && m_ui) m_ui->analysisUpdated(this);
}

void MCV_HsneAnalysis::embedLoop() {
    m_running = true;
    m_missingOutputReported = false;
    runHsneEmbedLoop(
        m_name, m_iterations, 100, m_running, [this] { iterate(); }, [this] { writeHsneChannels(); },
        [this] { m_running = false; });
}

// ---- Output variables ----

void MCV_HsneAnalysis::writeHsneChannels() {
    // A level on its way out leaves the data to the levels that stay.
    if (m_markedForDeletion || !bound()) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    const int x = header ? header->variableIdx(MCV_OutputVariables::HsneDataX) : -1;
    const int y = header ? header->variableIdx(MCV_OutputVariables::HsneDataY) : -1;
    if ((x < 0 || y < 0) && !m_missingOutputReported) {
        // Writing at column -1 would overwrite the previous event's last value.
        std::cout << "HSNE: the data have no variable "
                  << (x < 0 ? MCV_OutputVariables::HsneDataX : MCV_OutputVariables::HsneDataY)
                  << (x < 0 && y < 0 ? std::string(" or ") + MCV_OutputVariables::HsneDataY : std::string())
                  << "; the embedding of " << m_name << " is not written into the data." << std::endl;
        m_missingOutputReported = true;
    }
    std::vector<MCV_DerivedDataHierarchy::PointList>* lists = m_hierarchy->pointBasedHierarchyForScale(m_scale);
    if (!header || (x < 0 && y < 0) || !lists) return;

    const size_t variables = static_cast<size_t>(header->numVariables());
    const size_t n = m_pointReferences.size();
    if (m_output.size() < 2 * n) m_output.resize(2 * n, 0.f);
    if (m_markers.size() != n * variables) m_markers.assign(n * variables, 0.f);
    std::vector<float*> matrices(static_cast<size_t>(std::max(0, data->numFiles())));
    std::vector<int> events(matrices.size());
    for (size_t f = 0; f < matrices.size(); ++f) {
        matrices[f] = data->rawData(static_cast<int>(f));
        events[f] = data->header(static_cast<int>(f))->numEvents();
    }
    // Level positions stand for distinct landmarks, whose lists share no
    // event, so the positions are written in parallel.
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const size_t i = static_cast<size_t>(li);
        const size_t k = m_landmarkIdxs ? (*m_landmarkIdxs)[i] : i;
        if (k >= lists->size()) continue;
        const float* last = nullptr;
        for (const std::pair<int, int>& ref : (*lists)[k]) {
            if (ref.first < 0 || static_cast<size_t>(ref.first) >= matrices.size() || ref.second < 0 ||
                ref.second >= events[static_cast<size_t>(ref.first)])
                continue;
            float* row = matrices[static_cast<size_t>(ref.first)] + static_cast<size_t>(ref.second) * variables;
            if (x >= 0) row[x] = m_output[2 * i];
            if (y >= 0) row[y] = m_output[2 * i + 1];
            last = row;
        }
        if (last) std::copy(last, last + variables, m_markers.begin() + static_cast<std::ptrdiff_t>(i * variables));
    }
    data->valuesChanged();
    if (m_dataSelection) m_dataSelection->refreshed(this);
}
