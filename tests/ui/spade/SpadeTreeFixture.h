#pragma once

// A real SPADE run over three files of three well separated blobs in four
// markers, on a data model wired to a bridge, and tree views of it wired as
// the shell wires them. Dialogs are scripted.

#include "data/FcsTestFile.h"
#include "support/CapturedOutput.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/spade/UI_SpadeWidget.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class SpadeTreeTest : public ::testing::Test {
protected:
    using Pair = std::pair<int, int>;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&bridge);
        for (int f = 0; f < 3; ++f) {
            std::vector<std::vector<float>> rows;
            for (int e = 0; e < 30 + 5 * f; ++e) {
                const float blob = 10.0f * static_cast<float>(e % 3);
                std::vector<float> row;
                for (int m = 0; m < 4; ++m) row.push_back(blob + 0.1f * static_cast<float>((e * 7 + m + f) % 5));
                rows.push_back(row);
            }
            FcsTestFile fcs = FcsTestFile::floats(rows);
            for (int m = 0; m < 4; ++m) fcs.set("$P" + std::to_string(m + 1) + "S", markerNames[m]);
            ASSERT_EQ(data->loadFromFile(fcs.write(dir, "sample " + std::to_string(f + 1) + ".fcs")), 0);
        }
        data->initAllDerviedDataPointer();
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);

        spade = std::make_unique<MCV_SpadeAnalysis>();
        spade->init(&bridge, analysisName);
        for (int m = 0; m < 4; ++m) spade->setMarkerState(m, true);
        spade->setDensityLimit(100.0f);  // every event is kept: the same tree whatever the random draws
        spade->setTargetNumberOfClusters(6);
    }
    void TearDown() override {
        views.clear();
        spade.reset();
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        delete MCV_CytometryData::Instance();
    }

    void compute() {
        const std::string out = capturedStdout([&] { spade->computeSpadeTree(); });
        ASSERT_TRUE(spade->errorMessage().empty()) << spade->errorMessage() << out;
        clusters = data->derivedDataClusters(analysisName, true);
        ASSERT_NE(clusters, nullptr);
        ASSERT_GE(clusters->numClusters(), 3) << out;
    }
    // A view of the analysis wired as the shell wires it.
    UI_SpadeWidget* open(bool slave) {
        views.push_back(std::make_unique<UI_SpadeWidget>(nullptr, spade.get(), slave));
        UI_SpadeWidget* view = views.back().get();
        connect(view);
        return view;
    }
    void connect(UI_SpadeWidget* view) {
        QObject::connect(&bridge, &UI_Interface::dataRefreshedSignal, view, &UI_SpadeWidget::dataRefreshed);
        QObject::connect(&bridge, &UI_Interface::selectionRefreshedSignal, view, &UI_SpadeWidget::selectionRefreshed);
        QObject::connect(&bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_SpadeWidget::highlightRefreshed);
        if (!view->slave()) return;
        QObject::connect(&bridge, &UI_Interface::highlightRefreshedSignal, view,
                         &UI_SpadeWidget::spadePositionsRefreshed);
        QObject::connect(&bridge, &UI_Interface::spadeTreeRefreshedSignal, view,
                         &UI_SpadeWidget::spadePositionsRefreshed);
    }

    // The events of the given clusters, as a set of (file, event) pairs.
    std::set<Pair> eventsOf(const std::vector<int>& indices) {
        std::set<Pair> events;
        for (int c : indices)
            for (const Pair& p : clusters->clusters()[static_cast<size_t>(c)]) events.insert(p);
        return events;
    }
    // The registered point set of that name, or null (looking up by name
    // through the data model would make one).
    MCV_DerivedDataPoints* pointSet(const std::string& name) {
        for (MCV_DerivedDataPoints* set : data->derivedDataPoints())
            if (set->name() == name) return set;
        return nullptr;
    }
    static std::set<Pair> asSet(const std::vector<Pair>& points) { return {points.begin(), points.end()}; }

    const char* markerNames[4] = {"CD3", "CD4", "CD8", "CD19"};
    const std::string analysisName = "Tree";
    QTemporaryDir dir;
    UI_Interface bridge;
    MCV_CytometryData* data = nullptr;
    std::unique_ptr<MCV_SpadeAnalysis> spade;
    MCV_DerivedDataClusters* clusters = nullptr;
    std::vector<std::unique_ptr<UI_SpadeWidget>> views;
};
