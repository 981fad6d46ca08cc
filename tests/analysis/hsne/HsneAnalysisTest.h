#pragma once

// Seeded Gaussian blobs loaded into a fresh data set (the A-tSNE fixture's
// loader) with the HSNE output pair, and an HSNE hierarchy analysis over "All
// Points" that reports to a recording interface. Levels are destroyed by the
// fixture, as the shell would.

#include "analysis/tsne/TsneAnalysisTest.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"

#include <QDir>

#include <map>

class HsneAnalysisTest : public TsneAnalysisTest {
protected:
    void TearDown() override {
        hsne.reset();
        levels.clear();
        TsneAnalysisTest::TearDown();
    }

    void loadHsneBlobs(unsigned clusters, unsigned perCluster, unsigned dims = 4, int files = 2) {
        loadBlobs(clusters, perCluster, dims, files, 10.0, false);
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
        levels.emplace_back(std::make_unique<MCV_HsneAnalysis>(hsne.get()));
        MCV_HsneAnalysis* next = levels.back().get();
        hsne->initNextLevelAnalysisFromSelection(next, name, level->scale(), level->selectedLandmarkIdxs(&positions));
        next->setIterations(iterations);
        return next;
    }
    // Deletes a level the way the shell does after readyForDeletion.
    void destroy(void* level) {
        for (auto& l : levels)
            if (l.get() == level) l.reset();
    }

    // The label of each level position: the majority label of its events
    // (any analysis with the level's point queries).
    template <typename Level>
    std::vector<int> landmarkLabels(Level* level) {
        std::vector<int> labels;
        for (int i = 0; i < level->numDataPoints(); ++i) {
            std::vector<unsigned> one{static_cast<unsigned>(i)};
            std::vector<std::pair<int, int>> refs;
            level->computePointReferencesForLandmarkIdxs(&one, &refs, nullptr);
            std::map<int, int> votes;
            for (const auto& r : refs) ++votes[static_cast<int>(at(r.first, r.second, var("label")))];
            // A landmark that no event chose is labelled by its own event.
            if (votes.empty()) {
                const auto& own = (*level->pointReferences())[static_cast<size_t>(i)];
                labels.push_back(static_cast<int>(at(own.first, own.second, var("label"))));
                continue;
            }
            labels.push_back(std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) {
                                 return a.second < b.second;
                             })->first);
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

    // The share of points whose 10 nearest neighbours in the map (x, y at 2i,
    // 2i + 1) mostly carry the point's own label.
    static double tenNearestAgreement(const std::vector<float>& y, const std::vector<int>& labels) {
        const auto n = static_cast<unsigned>(labels.size());
        const std::vector<int> near = veltest::exactNeighbours(
            n, 11, [&](unsigned i, unsigned j) { return i == j ? -1.0 : veltest::squaredL2(&y[2 * i], &y[2 * j], 2); });
        size_t agree = 0;
        for (size_t i = 0; i < n; ++i) {
            std::map<int, int> votes;
            for (size_t k = 1; k <= 10; ++k) ++votes[labels[static_cast<size_t>(near[i * 11 + k])]];
            agree += std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) {
                         return a.second < b.second;
                     })->first == labels[i];
        }
        return static_cast<double>(agree) / static_cast<double>(n);
    }
    std::string folder() { return dir.path().toStdString() + "/"; }

    std::unique_ptr<MCV_HsneAnalysisHierarchy> hsne;
    std::vector<std::unique_ptr<MCV_HsneAnalysis>> levels;
};
