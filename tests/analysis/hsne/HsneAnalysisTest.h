#pragma once

// The A-tSNE fixture's blobs with the HSNE output pair, and an HSNE hierarchy
// analysis over "All Points" reporting to a recording interface; the fixture
// owns and destroys the levels, as the shell does.

#include "analysis/tsne/TsneAnalysisTest.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include <QDir>

#include <map>

using Lists = std::vector<std::vector<MCV_DerivedDataHierarchy::PointList>>;

// The point lists of every scale.
inline Lists pointLists(MCV_DerivedDataHierarchy& h) {
    Lists all;
    for (int s = 0; s < h.numScales(); ++s) all.push_back(*h.pointBasedHierarchyForScale(s));
    return all;
}

// The most frequent of `labels`, the lowest among equals.
inline int majority(const std::vector<int>& labels) {
    std::map<int, int> votes;
    for (int l : labels) ++votes[l];
    return std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

class HsneAnalysisTest : public TsneAnalysisTest {
protected:
    void TearDown() override {
        hsne.reset();
        levels.clear();
        TsneAnalysisTest::TearDown();
    }

    void loadHsneBlobs(unsigned clusters, unsigned perCluster, unsigned dims = 4, int files = 2,
                       std::uint32_t seed = 7) {
        loadBlobs(clusters, perCluster, dims, files, 10.0, false, seed);
        data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.f);
    }

    // A hierarchy analysis over the markers only, on the CPU, with a fixed seed.
    MCV_HsneAnalysisHierarchy* makeHsne(int scales, int iterations = 50, bool caching = false) {
        hsne.reset();
        levels.clear();
        hsne = std::make_unique<MCV_HsneAnalysisHierarchy>();
        hsne->setActiveDataSelection(allPoints());
        levels.emplace_back(hsne->init(&ui, "H"));
        for (const char* off : {"label", "QLMRN_HsneDataX", "QLMRN_HsneDataY"})
            if (var(off) >= 0) hsne->setMarkerState(var(off), false);
        hsne->setNumScales(scales);
        hsne->setSeed(3);
        hsne->setCachingEnabled(caching);
        overview()->setIterations(iterations);
        return hsne.get();
    }
    MCV_HsneAnalysis* overview() { return levels.front().get(); }

    // Opens a drill-down level over the given landmarks of `level` as the
    // shell does, without embedding it.
    MCV_HsneAnalysis* drill(MCV_HsneAnalysis* level, std::vector<unsigned> positions, const std::string& name,
                            int iterations = 20) {
        MCV_HsneAnalysis* next = levels.emplace_back(std::make_unique<MCV_HsneAnalysis>(hsne.get())).get();
        hsne->initNextLevelAnalysisFromSelection(next, name, level->scale(), level->selectedLandmarkIdxs(&positions));
        next->setIterations(iterations);
        return next;
    }

    // The events of the landmark at position `i` of `level`.
    template <typename Level>
    Points eventsOf(Level* level, unsigned i) {
        std::vector<unsigned> one{i};
        Points refs;
        level->computePointReferencesForLandmarkIdxs(&one, &refs, nullptr);
        return refs;
    }
    // The label of each level position: the majority label of its events; a
    // landmark that no event chose is labelled by its own event (any analysis
    // with the level's point queries).
    template <typename Level>
    std::vector<int> landmarkLabels(Level* level) {
        std::vector<int> labels;
        for (unsigned i = 0; i < static_cast<unsigned>(level->numDataPoints()); ++i) {
            Points refs = eventsOf(level, i);
            if (refs.empty()) refs.push_back((*level->pointReferences())[i]);
            std::vector<int> own;
            for (const auto& r : refs) own.push_back(static_cast<int>(at(r.first, r.second, var("label"))));
            labels.push_back(majority(own));
        }
        return labels;
    }

    // The level positions whose landmarks carry `label`.
    template <typename Level>
    std::vector<unsigned> blob(Level* level, int label) {
        std::vector<unsigned> positions;
        const std::vector<int> labels = landmarkLabels(level);
        for (size_t i = 0; i < labels.size(); ++i)
            if (labels[i] == label) positions.push_back(static_cast<unsigned>(i));
        return positions;
    }

    std::string folder() { return dir.path().toStdString() + "/"; }

    std::unique_ptr<MCV_HsneAnalysisHierarchy> hsne;
    std::vector<std::unique_ptr<MCV_HsneAnalysis>> levels;
};
