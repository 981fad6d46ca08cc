// Life cycle and request handling of the A-tSNE analysis; the probability
// step, the gradient descent and the output are in the files beside this one.
#include "MCV_TsneAnalysis.h"

#include "analysis/MCV_GpuGradientDescent.h"
#include "data/MCV_CytometryData.h"

#include <exception>
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_UiInterface.h"

#include "vel/dr/SparseTSNEUserDefProbabilities.h"
#include "vel/utils/CoutLog.h"

#include <algorithm>
#include <cassert>
#include <iostream>

MCV_TsneAnalysis::MCV_TsneAnalysis() { m_type = ANALYSIS_TSNE; }

MCV_TsneAnalysis::~MCV_TsneAnalysis() {
    // The shell destroys an analysis only after readyForDeletion, which a run
    // reports as its very last step.
    assert(!m_inProgress);
}

void MCV_TsneAnalysis::init(MCV_UiInterface* ui, std::string name) {
    m_logger = std::make_unique<vel::utils::CoutLog>();
    MCV_Analysis::init(ui, std::move(name));
}

bool MCV_TsneAnalysis::isRunning() const { return m_inProgress; }

// ---- Requests ----

void MCV_TsneAnalysis::computeTSNE() {
    if (m_inProgress) return defer(Request::Tsne);
    run(Request::Tsne);
}

void MCV_TsneAnalysis::computeGradientDescent() {
    if (m_inProgress) return defer(Request::GradientDescent);
    run(Request::GradientDescent);
}

void MCV_TsneAnalysis::embed() {
    if (m_inProgress) return defer(Request::Embed);
    run(Request::Embed);
}

void MCV_TsneAnalysis::initTSNE() {
    if (m_deletionRequested) return;
    if (m_inProgress) {
        std::cout << "A-tSNE: " << m_name << " is running; its probabilities are not recomputed now." << std::endl;
        return;
    }
    m_inProgress = true;
    try {
        computeProbabilities();  // a refusal has printed its reason
    } catch (const std::exception& e) {
        std::cout << "[ERROR] A-tSNE: " << m_name << " stopped: " << e.what() << std::endl;
    }
    m_inProgress = false;
    // analysisInitialized was reported inside; a deletion asked for meanwhile
    // is answered now that nothing is on the stack.
    if (m_deletionRequested && m_ui) m_ui->readyForDeletion(this);
}

void MCV_TsneAnalysis::defer(Request request) {
    if (m_deletionRequested) return;
    // A resume while the loop runs has nothing to add.
    if (request == Request::Embed && m_running) return;
    m_pending = std::max(m_pending, request);
    if (request != Request::Embed) m_running = false;
    std::cout << "A-tSNE: " << m_name << " is running; the new request follows when the current run has ended."
              << std::endl;
}

void MCV_TsneAnalysis::run(Request request) {
    assert(!m_inProgress);
    if (m_deletionRequested) return;
    m_inProgress = true;
    while (request != Request::None) {
        m_pending = Request::None;
        try {
            perform(request);
        } catch (const std::exception& e) {
            // A failure inside the library ends this run; the analysis stays
            // usable and the shell is not left believing it still runs.
            std::cout << "[ERROR] A-tSNE: " << m_name << " stopped: " << e.what() << std::endl;
            m_pending = Request::None;
        }
        request = m_deletionRequested ? Request::None : m_pending;
    }
    m_pending = Request::None;
    m_running = false;
    m_gradientDescentInitialized = false;
    m_inProgress = false;
    // The final report is the last thing a run does: the shell may destroy
    // the analysis inside readyForDeletion, and receivers of analysisFinished
    // may start the next run.
    if (!m_ui) return;
    if (m_deletionRequested)
        m_ui->readyForDeletion(this);
    else
        m_ui->analysisFinished(this);
}

void MCV_TsneAnalysis::perform(Request request) {
    switch (request) {
        case Request::Tsne:
            if (!computeProbabilities() || interrupted()) break;
            if (!setUpGradientDescent() || interrupted()) break;
            embedLoop();
            break;
        case Request::GradientDescent:
            if (!setUpGradientDescent() || interrupted()) break;
            embedLoop();
            break;
        case Request::Embed:
            if (!readyToEmbed()) {
                std::cout << "A-tSNE: " << m_name << " has no embedding to continue; compute it first." << std::endl;
                break;
            }
            embedLoop();
            break;
        case Request::None:
            break;
    }
}

void MCV_TsneAnalysis::stopGradientDescent() { m_running = false; }

void MCV_TsneAnalysis::markForDeletion() {
    const bool alreadyRequested = m_deletionRequested;
    m_deletionRequested = true;
    m_running = false;
    if (m_inProgress || alreadyRequested) return;  // the run reports it when it ends
    if (m_ui) m_ui->readyForDeletion(this);
}

// ---- Clusters ----

MCV_DerivedDataClusters* MCV_TsneAnalysis::updateClusters(std::vector<std::vector<unsigned>>* clusters,
                                                          std::string name) {
    // Members are mapped to events through the point references; indices
    // beyond them (a clustering of an older embedding) are left out of both
    // the events and the stored index lists.
    std::vector<std::vector<std::pair<int, int>>> pairs;
    std::vector<std::vector<unsigned>> indices;
    size_t skipped = 0;
    if (clusters) {
        pairs.resize(clusters->size());
        indices.resize(clusters->size());
        for (size_t c = 0; c < clusters->size(); ++c) {
            for (unsigned index : (*clusters)[c]) {
                if (index < m_pointReferences.size()) {
                    pairs[c].push_back(m_pointReferences[index]);
                    indices[c].push_back(index);
                } else {
                    ++skipped;
                }
            }
        }
    }
    if (skipped > 0)
        std::cout << "A-tSNE: " << skipped << " members of the clusters " << name
                  << " are not embedded points and were left out." << std::endl;

    // The analysis' own set: a set of that name that another analysis filled
    // or left is not taken (see ownedClusters).
    MCV_DerivedDataClusters* set =
        MCV_CytometryData::Instance()->ownedClusters(name + " - " + m_name, serial(), m_dataSelection != nullptr);
    if (!set) return nullptr;
    set->setClusters(std::move(pairs), ownPoints(), {}, clusters ? &indices : nullptr);
    return set;
}
