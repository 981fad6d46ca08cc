// The HSNE hierarchy analysis: settings, the build or cache load of the
// derived hierarchy, and the list of its levels.
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_UiInterface.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <exception>
#include <iostream>

namespace {

MCV_HsneHierarchyBuilder::Settings hsneDefaults() {
    MCV_HsneHierarchyBuilder::Settings defaults;
    defaults.numNeighbors = MCV_HsneAnalysisHierarchy::kNumNeighbors;
    return defaults;
}

}  // namespace

MCV_HsneAnalysisHierarchy::MCV_HsneAnalysisHierarchy() : m_builder(hsneDefaults(), "Caching HSNE results.\n") {
    m_type = ANALYSIS_HSNE_HIERARCHY;
}

MCV_HsneAnalysisHierarchy::~MCV_HsneAnalysisHierarchy() {
    assert(!m_building);
    // Levels live on until the shell destroys them; they keep the hierarchy.
    for (MCV_HsneAnalysis* level : m_members) level->ownerDestroyed();
}

std::string MCV_HsneAnalysisHierarchy::overviewLevelName(const std::string& name) { return name + " - Overview Level"; }

MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::init(MCV_UiInterface* ui, std::string name) {
    MCV_Analysis::init(ui, name);
    if (m_dataSelection) calcInitialNumScales();
    m_overview = addAnalysis(overviewLevelName(name));
    return m_overview;
}

void MCV_HsneAnalysisHierarchy::setActiveDataSelection(MCV_DerivedDataPoints* points) {
    MCV_Analysis::setActiveDataSelection(points);
    calcInitialNumScales();
}

void MCV_HsneAnalysisHierarchy::calcInitialNumScales() {
    if (!m_dataSelection || m_dataSelection->data().empty()) return;
    settings().numScales = defaultNumScales(m_dataSelection->data().size());
}

int MCV_HsneAnalysisHierarchy::defaultNumScales(size_t numPoints) {
    if (numPoints == 0) return 0;
    // One scale per factor of about 8 in size, rounded, from ~1,450 points on.
    const float lnN = std::log(static_cast<float>(numPoints));
    const int v = static_cast<int>(static_cast<double>(lnN) / 2.0794415416798357 + 0.5);
    return std::max(v, 3) - 2;
}

MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::addAnalysis(std::string levelName) {
    auto* level = new MCV_HsneAnalysis(this);
    level->init(m_ui, std::move(levelName), m_useGpu);
    m_analyses.push_back(level);
    return level;
}

MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::analysis(int i) {
    return i >= 0 && i < static_cast<int>(m_analyses.size()) ? m_analyses[static_cast<size_t>(i)] : nullptr;
}

int MCV_HsneAnalysisHierarchy::numLandmarksInScale(int scale) {
    return m_hierarchy ? m_hierarchy->numLandmarksInScale(scale) : -1;
}

bool MCV_HsneAnalysisHierarchy::isRunning() const {
    return m_building ||
           std::any_of(m_analyses.begin(), m_analyses.end(), [](const MCV_HsneAnalysis* l) { return l->isRunning(); });
}

const MCV_HsneAnalysis* MCV_HsneAnalysisHierarchy::levelRefusingCompute() const {
    if (m_building) return nullptr;
    for (const MCV_HsneAnalysis* level : m_analyses)
        if (level->isRunning()) return level;
    return nullptr;
}

MCV_DerivedDataClusters* MCV_HsneAnalysisHierarchy::updateClusters(std::vector<std::vector<unsigned>>*, std::string) {
    return nullptr;
}

void MCV_HsneAnalysisHierarchy::levelCreated(MCV_HsneAnalysis* level) { m_members.push_back(level); }

void MCV_HsneAnalysisHierarchy::levelDestroyed(MCV_HsneAnalysis* level) {
    m_members.erase(std::remove(m_members.begin(), m_members.end(), level), m_members.end());
    m_analyses.erase(std::remove(m_analyses.begin(), m_analyses.end(), level), m_analyses.end());
    if (level == m_overview) m_overview = nullptr;
}

// ---- Build ----

void MCV_HsneAnalysisHierarchy::initHSNE() {
    std::cout << "Initialzing HSNE.\n" << std::flush;
    if (m_building) {
        // The overview's loop (and any level opened from it) is on the stack:
        // it ends first, then the outermost call builds again.
        m_buildPending = true;
        for (MCV_HsneAnalysis* level : m_analyses)
            if (level->isRunning()) level->stopGradientDescent();
        std::cout << "HSNE: " << m_name << " is running; the new computation follows when the current run has ended."
                  << std::endl;
        return;
    }
    if (const MCV_HsneAnalysis* level = levelRefusingCompute()) {
        std::cout << "HSNE: " << m_name << " is not computed again while " << level->name()
                  << " is embedding; stop it first." << std::endl;
        return;
    }
    m_building = true;
    do {
        m_buildPending = false;
        bool built = false;
        try {
            built = build();
        } catch (const std::exception& e) {
            // The previous hierarchy and its levels stay as they were.
            std::cout << "[ERROR] HSNE: " << m_name << " could not be computed: " << e.what() << std::endl;
        }
        if (built && m_overview) {
            std::cout << ".. done!\n" << std::flush;
            m_overview->embed();
        } else if (m_overview && !m_overview->markedForDeletion() && m_ui) {
            // The views of the overview learn that the compute has ended.
            m_ui->analysisFinished(m_overview);
        }
    } while (m_buildPending);
    m_building = false;
}

bool MCV_HsneAnalysisHierarchy::checkBuildable(const std::vector<std::pair<int, int>>& points) const {
    if (!m_overview) {
        std::cout << "HSNE: " << m_name << " has no overview level any more." << std::endl;
        return false;
    }
    return MCV_DerivedDataHierarchy::selectionBuildable(m_name, points, m_selectedMarkers);
}

bool MCV_HsneAnalysisHierarchy::build() {
    if (!m_dataSelection) {
        std::cout << "HSNE: " << m_name << " has no data selection." << std::endl;
        return false;
    }
    std::vector<std::pair<int, int>> points = m_dataSelection->data();
    if (!checkBuildable(points)) return false;
    if (numScales() < 1) {
        std::cout << "HSNE: " << m_name << " needs at least one scale." << std::endl;
        return false;
    }
    std::shared_ptr<MCV_DerivedDataHierarchy> fresh =
        m_builder.obtain(m_name, &points, m_selectedMarkers, m_dataSelection);
    if (!fresh) return false;  // stopped
    m_pointReferences = std::move(points);
    m_numDataPoints = static_cast<int>(m_pointReferences.size());
    replaceHierarchy(std::move(fresh));
    return true;
}

void MCV_HsneAnalysisHierarchy::replaceHierarchy(std::shared_ptr<MCV_DerivedDataHierarchy> fresh) {
    // The drill-down levels of the old hierarchy are dropped and reported
    // first; each keeps what it uses until the shell destroys it.
    std::vector<std::string> names;
    std::vector<MCV_HsneAnalysis*> dropped;
    for (MCV_HsneAnalysis* level : m_analyses) {
        if (level == m_overview) continue;
        names.push_back(level->name());
        dropped.push_back(level);
    }
    m_analyses.assign(1, m_overview);
    for (MCV_HsneAnalysis* level : dropped) {
        level->ownerDestroyed();
        m_members.erase(std::remove(m_members.begin(), m_members.end(), level), m_members.end());
    }
    if (m_ui) m_ui->analysesRemoved(&names);

    m_hierarchy = std::move(fresh);
    keepOwnPoints(*m_hierarchy->pointReferences());
    if (!m_overview) return;  // closed by the shell meanwhile
    m_overview->init(m_ui, overviewLevelName(m_name), m_useGpu);
    m_overview->reInit(m_hierarchy->numScales() - 1, nullptr, nullptr);
    m_overview->setHierarchy(m_hierarchy);
}

// ---- Drill-down ----

void MCV_HsneAnalysisHierarchy::initNextLevelAnalysisFromSelection(MCV_HsneAnalysis* level, std::string name, int scale,
                                                                   std::vector<unsigned>* selection) {
    if (!level) return;
    if (level->owner() != this) {
        std::cout << "HSNE: " << name << " is not a level of " << m_name << "." << std::endl;
        return;
    }
    level->init(m_ui, name, m_useGpu);
    if (std::find(m_analyses.begin(), m_analyses.end(), level) == m_analyses.end()) m_analyses.push_back(level);
    if (!m_hierarchy || !selection || scale < 1 || scale >= m_hierarchy->numScales()) {
        std::cout << "HSNE: " << name << " cannot be opened: scale " << scale << " has no finer scale in " << m_name
                  << "." << std::endl;
        return;
    }
    // A selection kept across a rebuild may name landmarks the scale lacks.
    const auto landmarks = static_cast<unsigned>(std::max(0, m_hierarchy->numLandmarksInScale(scale)));
    std::vector<unsigned> valid;
    for (unsigned l : *selection)
        if (l < landmarks) valid.push_back(l);
    if (valid.size() != selection->size())
        std::cout << "HSNE: " << selection->size() - valid.size() << " selected landmarks are not landmarks of scale "
                  << scale << " and were left out." << std::endl;
    auto matrix = std::make_unique<MCV_HsneAnalysis::SparseMatrix>();
    auto idxs = std::make_unique<std::vector<unsigned>>();
    m_hierarchy->nextLevelTransitionMatrixForSelection(matrix.get(), idxs.get(), scale, &valid, nullptr);
    level->reInit(scale - 1, std::move(matrix), std::move(idxs));
    level->setHierarchy(m_hierarchy);
}

std::vector<unsigned> MCV_HsneAnalysisHierarchy::computeNumberOfLandmarksOnNextLevels(
    int scale, std::vector<unsigned>* selection) {
    std::vector<unsigned> counts(static_cast<size_t>(std::max(scale, 0)), 0);
    if (!m_hierarchy || !selection) return counts;
    std::vector<unsigned> current = *selection;
    for (int s = scale; s >= 1; --s) {
        std::vector<unsigned> next;
        m_hierarchy->nextLevelIdxs(&next, s, &current, false);
        current = std::move(next);
        counts[static_cast<size_t>(scale - s)] = static_cast<unsigned>(current.size());
    }
    return counts;
}

std::vector<unsigned> MCV_HsneAnalysisHierarchy::computeNumberOfLandmarksOnPreviousLevels(
    int scale, std::vector<unsigned>* selection) {
    const int scales = m_hierarchy ? m_hierarchy->numScales() : numScales();
    std::vector<unsigned> counts(static_cast<size_t>(std::max(scales - 1 - scale, 0)), 0);
    if (!m_hierarchy || !selection || scale < 0) return counts;
    std::vector<unsigned> current = *selection;
    for (int s = scale; s <= scales - 2; ++s) {
        std::vector<unsigned> next;
        m_hierarchy->prevLevelIdxs(&next, s, &current, false);
        current = std::move(next);
        counts[static_cast<size_t>(s - scale)] = static_cast<unsigned>(current.size());
    }
    return counts;
}
