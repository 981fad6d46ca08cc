// Life cycle, request handling and landmark data of an HSNE level; the
// gradient descent and the output are in MCV_HsneAnalysisDescent.cpp, the
// selection queries in MCV_HsneAnalysisSelection.cpp.
#include "analysis/hsne/MCV_HsneAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"

#include <algorithm>
#include <cassert>
#include <exception>
#include <iostream>

MCV_HsneAnalysis::MCV_HsneAnalysis(MCV_HsneAnalysisHierarchy* owner) : m_owner(owner) {
    m_type = ANALYSIS_HSNE;
    if (m_owner) {
        m_dataSelection = m_owner->dataSelection();
        m_owner->levelCreated(this);
    }
}

MCV_HsneAnalysis::~MCV_HsneAnalysis() {
    // The shell destroys a level only after readyForDeletion, which a run
    // reports as its very last step.
    assert(!m_inProgress);
    if (m_owner) m_owner->levelDestroyed(this);
}

bool MCV_HsneAnalysis::refuseWhileRunning(const char* what) const {
    if (!m_inProgress) return false;
    std::cout << "HSNE: " << m_name << " is embedding; it cannot be " << what << " now." << std::endl;
    return true;
}

void MCV_HsneAnalysis::init(MCV_UiInterface* ui, std::string name, bool useGPU) {
    if (refuseWhileRunning("initialised")) return;
    MCV_Analysis::init(ui, std::move(name));
    m_useGpu = useGPU;
    m_engineReady = false;
    m_cpuEngine.reset();  // it refers to the embedding replaced below
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
    m_ownMatrix.reset();
}

void MCV_HsneAnalysis::reInit(int scale, std::unique_ptr<SparseMatrix> matrix,
                              std::unique_ptr<std::vector<unsigned>> landmarkIdxs) {
    if (refuseWhileRunning("initialised")) return;
    m_scale = scale;
    m_engineReady = false;
    if (bound()) {
        m_cpuEngine.reset();
        m_embedding = std::make_unique<vel::data::Embedding<float>>();
    }
    m_ownMatrix = std::move(matrix);
    m_landmarkIdxs = std::move(landmarkIdxs);
}

void MCV_HsneAnalysis::setHierarchy(std::shared_ptr<MCV_DerivedDataHierarchy> hierarchy) {
    if (refuseWhileRunning("bound to a hierarchy")) return;
    if (m_owner) {
        m_dataSelection = m_owner->dataSelection();
        // The events of the hierarchy this level is part of, shared with the
        // other levels of that hierarchy (a rebuild gives the new levels new ones).
        m_ownPoints = m_owner->sharedOwnPoints();
    }
    m_hierarchy = std::move(hierarchy);
    setUpEngine();
    initDerivedData();
    if (m_ui) m_ui->analysisInitialized(this);
}

void MCV_HsneAnalysis::reset() {
    if (refuseWhileRunning("reset")) return;
    if (!bound()) return;
    // The engines refer to the embedding: none may iterate until the next set-up.
    m_engineReady = false;
    m_cpuEngine.reset();
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
}

// ---- Requests ----

void MCV_HsneAnalysis::reInitEmbedding() {
    if (m_inProgress) return defer(Request::Restart);
    setUpEngine();
}

void MCV_HsneAnalysis::embed() {
    if (m_inProgress) return defer(Request::Embed);
    run(Request::Embed);
}

void MCV_HsneAnalysis::stopGradientDescent() { m_running = false; }

void MCV_HsneAnalysis::markForDeletion() {
    const bool alreadyMarked = m_markedForDeletion;
    m_markedForDeletion = true;
    m_running = false;
    // A run reports it when it ends; the report is the last thing either does.
    if (m_inProgress || alreadyMarked) return;
    if (m_ui) m_ui->readyForDeletion(this);
}

void MCV_HsneAnalysis::defer(Request request) {
    if (m_markedForDeletion) return;
    // A resume while the loop runs has nothing to add.
    if (request == Request::Embed && m_running) return;
    m_pending = std::max(m_pending, request);
    if (request == Request::Restart) m_running = false;
    std::cout << "HSNE: " << m_name << " is embedding; the new request follows when the current run has ended."
              << std::endl;
}

void MCV_HsneAnalysis::run(Request request) {
    assert(!m_inProgress);
    if (m_markedForDeletion || !bound()) return;
    m_inProgress = true;
    while (request != Request::None) {
        m_pending = Request::None;
        try {
            if (request == Request::Restart) setUpEngine();
            if (m_engineReady) {
                embedLoop();
            } else {
                std::cout << "HSNE: " << m_name << " has nothing to embed; a level needs at least "
                          << MCV_TsneAnalysis::kMinPoints << " landmarks." << std::endl;
            }
        } catch (const std::exception& e) {
            // A failure inside the library ends this run; the level stays usable.
            std::cout << "[ERROR] HSNE: " << m_name << " stopped: " << e.what() << std::endl;
            m_engineReady = false;
            m_pending = Request::None;
        }
        request = m_markedForDeletion ? Request::None : m_pending;
    }
    m_pending = Request::None;
    m_running = false;
    m_inProgress = false;
    if (!m_ui) return;
    if (m_markedForDeletion)
        m_ui->readyForDeletion(this);
    else
        m_ui->analysisFinished(this);
}

// ---- Landmark data ----

void MCV_HsneAnalysis::initDerivedData() {
    if (!bound()) return;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_FcsHeader* header = data->combinedHeader();
    const size_t variables = header ? static_cast<size_t>(std::max(0, header->numVariables())) : 0;

    std::vector<unsigned> global;
    m_hierarchy->gloablIdxsFromLandmarkIdxs(&global, m_scale, m_landmarkIdxs.get());
    const size_t n = global.size();
    const std::vector<std::pair<int, int>>& refs = *m_hierarchy->pointReferences();
    m_pointReferences.assign(n, {0, 0});
    m_outputFileIdxs.assign(n, 0);
    m_markers.assign(n * variables, 0.f);
    for (size_t i = 0; i < n; ++i) {
        const std::pair<int, int> ref = refs.at(global[i]);
        m_pointReferences[i] = ref;
        m_outputFileIdxs[i] = ref.first;
        const float* row = data->rawData(ref.first);
        const MCV_FcsHeader* file = data->header(ref.first);
        // A reference the data no longer hold keeps a row of zeros.
        if (row && file && ref.second >= 0 && ref.second < file->numEvents())
            std::copy(row + static_cast<size_t>(ref.second) * variables,
                      row + static_cast<size_t>(ref.second + 1) * variables,
                      m_markers.begin() + static_cast<std::ptrdiff_t>(i * variables));
    }
    m_hierarchy->landmarkWeights(m_scale, &m_landmarkWeights, m_landmarkIdxs.get());
}
