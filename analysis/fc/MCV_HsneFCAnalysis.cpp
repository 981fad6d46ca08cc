// Life cycle and request handling of the focus-and-context analysis; the
// hierarchy and per-point data are in MCV_HsneFCAnalysisHierarchy.cpp, the
// tree operations in MCV_HsneFCAnalysisTree.cpp, the gradient descent and the
// output in MCV_HsneFCAnalysisDescent.cpp.
#include "analysis/fc/MCV_HsneFCAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "analysis/fc/MCV_FCEventCover.h"
#include "analysis/fc/MCV_FCTree.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/CoutLog.h"

#include <cassert>
#include <exception>
#include <iostream>

namespace {

MCV_HsneHierarchyBuilder::Settings focusContextDefaults() {
    MCV_HsneHierarchyBuilder::Settings defaults;
    defaults.aknnNumChecks = 256;
    defaults.numTrees = 3;
    defaults.useHardThresh = true;
    defaults.hardThresh = 0.25f;
    defaults.numNeighbors = 90;
    return defaults;
}

}  // namespace

MCV_HsneFCAnalysis::MCV_HsneFCAnalysis() : m_builder(focusContextDefaults(), "caching HSNE results.\n") {
    m_type = ANALYSIS_HSNE_FC;
}

MCV_HsneFCAnalysis::~MCV_HsneFCAnalysis() {
    // The shell destroys an analysis only after readyForDeletion, which a run
    // reports as its very last step.
    assert(!m_inProgress);
    // The tree stays in the data model; the hierarchy it refers to goes now.
    if (m_fcTree && m_fcTree->hierarchy() == m_hierarchy.get()) m_fcTree->detachHierarchy();
    m_pointNodes.clear();
    m_cpuEngine.reset();
}

void MCV_HsneFCAnalysis::init(MCV_UiInterface* ui, std::string name) {
    if (m_inProgress) {
        std::cout << "HSNE: " << m_name << " is embedding; it cannot be initialised now." << std::endl;
        return;
    }
    MCV_Analysis::init(ui, std::move(name));
    m_logger = std::make_unique<vel::utils::CoutLog>();
    m_engineReady = false;
    m_cpuEngine.reset();  // it refers to the embedding replaced below
    m_embedding = std::make_unique<vel::data::Embedding<float>>();
    m_output.clear();
}

void MCV_HsneFCAnalysis::setTransitionMatrixMode(int mode) {
    if (mode != m_transitionMatrixMode) m_transitionMatrixMode = mode;
}

// ---- Requests ----

void MCV_HsneFCAnalysis::stopRunning() {
    if (!m_running) return;
    m_running = false;
    updateTreeCoordinates();
}

void MCV_HsneFCAnalysis::initHSNE() {
    std::cout << "Initialzing HSNE.\n" << std::flush;
    submit({Request::Compute, {}});
}

void MCV_HsneFCAnalysis::reEmbed() { submit({Request::Restart, {}}); }

void MCV_HsneFCAnalysis::embed() {
    if (!m_hierarchy) return;
    // A resume while the loop runs has nothing to add.
    if (m_inProgress && m_running) return;
    submit({Request::Embed, {}});
}

void MCV_HsneFCAnalysis::differentiateFocusMore() { submit({Request::FocusMore, {}}); }
void MCV_HsneFCAnalysis::differentiateFocusLess() { submit({Request::FocusLess, {}}); }
void MCV_HsneFCAnalysis::differentiateFocus(bool more) { more ? differentiateFocusMore() : differentiateFocusLess(); }
void MCV_HsneFCAnalysis::refineAll() { submit({Request::RefineAll, {}}); }
void MCV_HsneFCAnalysis::coarsenAll() { submit({Request::CoarsenAll, {}}); }
void MCV_HsneFCAnalysis::refineAll(bool refine) { refine ? refineAll() : coarsenAll(); }

void MCV_HsneFCAnalysis::setFocus(std::vector<unsigned>* selection) {
    stopRunning();
    if (!selection || selection->empty()) return;
    if (m_inProgress) return submit({Request::SetFocus, *selection});
    // Changes the tree and reports; the embedding follows with the view's
    // next request.
    try {
        applySetFocus(*selection);
    } catch (const std::exception& e) {
        std::cout << "[ERROR] HSNE: " << m_name << " could not set the focus: " << e.what() << std::endl;
    }
}

void MCV_HsneFCAnalysis::stopGradientDescent() { stopRunning(); }

void MCV_HsneFCAnalysis::markForDeletion() {
    const bool alreadyMarked = m_markedForDeletion;
    m_markedForDeletion = true;
    m_builder.stop();
    stopRunning();
    // A run reports it when it ends; the report is the last thing either does.
    if (m_inProgress || alreadyMarked) return;
    if (m_ui) m_ui->readyForDeletion(this);
}

void MCV_HsneFCAnalysis::submit(Pending request) {
    if (m_markedForDeletion) return;
    if (!m_inProgress) return run(std::move(request));
    // The loop on the stack ends after its current iteration; the request
    // follows once it has returned.
    stopRunning();
    m_pending.push_back(std::move(request));
    std::cout << "HSNE: " << m_name << " is embedding; the new request follows when the current run has ended."
              << std::endl;
}

void MCV_HsneFCAnalysis::run(Pending first) {
    assert(!m_inProgress);
    m_inProgress = true;
    m_pending.assign(1, std::move(first));
    while (!m_pending.empty() && !m_markedForDeletion) {
        const Pending request = m_pending.front();
        m_pending.erase(m_pending.begin());
        try {
            carryOut(request);
        } catch (const std::exception& e) {
            // A library failure ends this request; the analysis stays usable.
            std::cout << "[ERROR] HSNE: " << m_name << " stopped: " << e.what() << std::endl;
            m_engineReady = false;
            m_running = false;
        }
    }
    m_pending.clear();
    m_running = false;
    m_inProgress = false;
    if (!m_ui) return;
    if (m_markedForDeletion)
        m_ui->readyForDeletion(this);
    else
        m_ui->analysisFinished(this);
}

void MCV_HsneFCAnalysis::carryOut(const Pending& request) {
    switch (request.request) {
        case Request::Compute:
            if (!build()) return;
            std::cout << ".. done!\n" << std::flush;
            embedLoop();
            return;
        case Request::Restart:
            if (!m_hierarchy) return;
            reInitEmbedding(false);
            embedLoop();
            return;
        case Request::Embed:
            embedLoop();
            return;
        case Request::SetFocus:
            applySetFocus(request.selection);
            return;
        case Request::FocusMore:
        case Request::FocusLess:
        case Request::RefineAll:
        case Request::CoarsenAll:
            applyTreeOperation(request.request);
            return;
    }
}

void MCV_HsneFCAnalysis::applyTreeOperation(Request request) {
    if (!m_hierarchy || !m_fcTree) {
        std::cout << "HSNE: " << m_name << " has no hierarchy yet; compute it first." << std::endl;
        return;
    }
    switch (request) {
        case Request::FocusMore:
            zoomIntoFocus();
            break;
        case Request::FocusLess:
            zoomOutOfFocus();
            break;
        case Request::RefineAll:
            zoomIntoAll();
            break;
        case Request::CoarsenAll:
            zoomOutOfAll();
            break;
        default:
            assert(false);
            return;
    }
    reInitEmbedding(true);
    updateDerivedData();
    if (m_ui) m_ui->analysisInitialized(this);
    embedLoop();
}
