// Gradient-descent set-up, the embed loop and the output variables of the
// A-tSNE analysis.
#include "MCV_TsneAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/MCV_ProgressBar.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_OutputVariables.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/Timer.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <string>

// ---- Set-up ----

vel::dr::TsneParameters MCV_TsneAnalysis::descentParameters() const {
    vel::dr::TsneParameters params;
    params.seed = m_seed;
    params.initialSpread = 0.1f;
    params.embeddingDimensionality = m_numDimensionsOutput;
    params.minimumGain = 0.1;
    params.learningRate = 200;
    params.momentum = 0.2;
    params.finalMomentum = 0.5;
    params.momentumSwitchIteration = m_exaggerationIter;
    // Grows with the data so that large sets still separate early.
    params.exaggerationFactor = static_cast<double>(m_numPoints) / 5000.0 + 10.0;
    params.removeExaggerationIteration = static_cast<std::uint32_t>(std::max(0, m_exaggerationIter));
    params.exaggerationDecayIterations = static_cast<std::uint32_t>(std::max(0, m_expDecay));
    params.presetEmbedding = false;
    return params;
}

bool MCV_TsneAnalysis::setUpGradientDescent() {
    if (m_numPoints < kMinPoints || m_probabilities.size() != static_cast<size_t>(m_numPoints)) {
        std::cout << "A-tSNE: " << m_name << " has no probabilities to embed; compute them first." << std::endl;
        return false;
    }
    m_gradientDescentInitialized = true;
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
    const vel::dr::TsneParameters params = descentParameters();
    if (!(m_useGpu && setUpGpuEngine(params))) setUpCpuEngine(params);
    m_output = m_embedding->getContainer();
    return true;
}

void MCV_TsneAnalysis::setUpCpuEngine(const vel::dr::TsneParameters& params) {
    m_cpuEngine = std::make_unique<CpuEngine>();
    // Exact gradient up to 1000 points, then a theta growing to 0.5 at 11000.
    const double theta = std::min(std::max((m_numPoints - 1000) * 0.00005, 0.0), 0.5);
    m_cpuEngine->setTheta(static_cast<float>(theta));
    m_cpuEngine->initialize(m_probabilities, m_embedding.get(), params);
    m_engine = Engine::Cpu;
}

bool MCV_TsneAnalysis::setUpGpuEngine(const vel::dr::TsneParameters& params) {
    if (!m_gpu) m_gpu = std::make_unique<MCV_GpuGradientDescent>();
    if (!m_gpu->initialize(m_probabilities, m_embedding.get(), params)) {
        std::cout << "A-tSNE: the GPU is not available; " << m_name << " runs on the CPU." << std::endl;
        return false;
    }
    m_engine = Engine::Gpu;
    m_cpuEngine.reset();  // only the last engine set up is driven; its copy of P can go
    return true;
}

bool MCV_TsneAnalysis::readyToEmbed() const {
    return m_engine != Engine::None && m_embedding &&
           m_embedding->numDataPoints() == static_cast<unsigned>(m_numPoints) &&
           m_pointReferences.size() == static_cast<size_t>(m_numPoints);
}

// ---- Embed loop ----

void MCV_TsneAnalysis::doOneIteration() {
    if (m_engine == Engine::Gpu)
        m_gpu->doAnIteration(1.0);
    else
        m_cpuEngine->doAnIteration(1.0);
}

void MCV_TsneAnalysis::refreshBounds() {
    std::vector<float> box;
    m_embedding->computeEmbeddingBBox(box, 0.1f, true);
    m_radius = box.empty() ? 0.f : *std::max_element(box.begin(), box.end());
}

void MCV_TsneAnalysis::embedLoop() {
    assert(readyToEmbed());
    vel::utils::Timer timer;
    timer.start();
    std::cout << "A-tSNE: Computing gradient descent..\n";
    MCV_ProgressBar bar(std::cout, m_iterations);
    bar.start();

    m_running = true;
    m_missingOutputReported = false;
    writeTsneChannels();

    if (m_iterations >= 1) {
        for (int i = 1;; ++i) {
            doOneIteration();
            bar.advance(i, m_iterations);
            if (i % 100 == 0 || m_continuousUpdates) {
                refreshBounds();
                if (i % 10 == 0)
                    writeTsneChannels();
                else
                    m_output = m_embedding->getContainer();
                // Stop, delete and restart requests arrive inside this call.
                if (!m_deletionRequested && m_ui) m_ui->analysisUpdated(this);
            }
            if (i >= m_iterations || !m_running) break;
        }
    }

    writeTsneChannels();
    m_running = false;
    m_gradientDescentInitialized = false;
    timer.stop();

    bar.finish();
    MCV_ProgressBar::separator(std::cout);
    std::cout << "A-tSNE: Finished embedding of " << m_name
              << " in: " << static_cast<double>(timer.elapsedMicroseconds()) / 1000 / 1000 << " seconds.";
    MCV_ProgressBar::separator(std::cout);
    std::cout << std::flush;
}

// ---- Output variables ----

void MCV_TsneAnalysis::writeTsneChannels() {
    m_output = m_embedding->getContainer();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    const int x = header ? header->variableIdx(MCV_OutputVariables::TsneX) : -1;
    const int y = header ? header->variableIdx(MCV_OutputVariables::TsneY) : -1;
    if ((x < 0 || y < 0) && !m_missingOutputReported) {
        // Writing at column -1 would overwrite the previous event's last value.
        std::cout << "A-tSNE: the data have no variable "
                  << (x < 0 ? MCV_OutputVariables::TsneX : MCV_OutputVariables::TsneY)
                  << (x < 0 && y < 0 ? std::string(" or ") + MCV_OutputVariables::TsneY : std::string())
                  << "; the embedding of " << m_name << " is not written into the data." << std::endl;
        m_missingOutputReported = true;
    }
    if (!header || (x < 0 && y < 0)) return;

    const size_t variables = static_cast<size_t>(header->numVariables());
    const size_t n = m_pointReferences.size();
    const size_t dims = std::max<unsigned>(1, m_embedding->numDimensions());
    assert(m_output.size() >= n * dims);
    // Variables may have been added since the probability step.
    if (m_pointValues.size() != n * variables) m_pointValues.assign(n * variables, 0.f);
    std::vector<float*> matrices(static_cast<size_t>(std::max(0, data->numFiles())));
    std::vector<int> events(matrices.size());
    for (size_t f = 0; f < matrices.size(); ++f) {
        matrices[f] = data->rawData(static_cast<int>(f));
        events[f] = data->header(static_cast<int>(f))->numEvents();
    }
    // A subset may name an event twice: the columns are written in point
    // order, so the last of its points wins as in any serial pass, and the
    // rows are copied only when every write is done.
    std::vector<float*> rows(n, nullptr);
    for (size_t i = 0; i < n; ++i) {
        const auto& ref = m_pointReferences[i];
        // References were checked by the probability step, and the data set is
        // not replaced while an analysis exists; a stale one is never written.
        if (ref.first < 0 || static_cast<size_t>(ref.first) >= matrices.size() || ref.second < 0 ||
            ref.second >= events[static_cast<size_t>(ref.first)])
            continue;
        float* row = matrices[static_cast<size_t>(ref.first)] + static_cast<size_t>(ref.second) * variables;
        if (x >= 0) row[x] = m_output[i * dims];
        if (y >= 0) row[y] = m_output[i * dims + 1];
        rows[i] = row;
    }
#pragma omp parallel for schedule(static)
    for (long long li = 0; li < static_cast<long long>(n); ++li) {
        const size_t i = static_cast<size_t>(li);
        if (rows[i])
            std::copy(rows[i], rows[i] + variables, m_pointValues.begin() + static_cast<std::ptrdiff_t>(i * variables));
    }
    data->valuesChanged();
}
