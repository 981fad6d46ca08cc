#pragma once

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"

#include <QTableWidget>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

// A plot's sample table against a count made in the test: per file the events
// `drawn` (those the plot stands for) and the distinct ones of them that the
// shared selection holds now; every share at most 100 %. Returns the number of
// drawn events selected.
inline int expectSampleTable(UI_SampleStatisticsWidget* panel, const std::vector<std::pair<int, int>>& drawn,
                             int files) {
    const auto cell = [&](int row, int column) {
        return panel->statisticsTable()->item(row, column)->data(Qt::DisplayRole).toFloat();
    };
    const std::vector<std::pair<int, int>>& list = MCV_CytometryData::Instance()->selectionPoints()->data();
    const std::set<std::pair<int, int>> selected(list.begin(), list.end());
    std::set<std::pair<int, int>> counted;
    std::vector<double> total(files), in(files), percent(files);
    for (const auto& p : drawn) {
        total[p.first] += 1;
        if (selected.count(p) && counted.insert(p).second) in[p.first] += 1;
    }
    double inSet = 0, percentSum = 0;
    for (int f = 0; f < files; ++f) {
        percent[f] = total[f] > 0 ? 100 * in[f] / total[f] : 0;
        inSet += in[f];
        percentSum += percent[f];
    }
    for (int f = 0; f < files; ++f) {
        SCOPED_TRACE("file " + std::to_string(f));
        EXPECT_EQ(cell(f, 2), float(total[f]));
        EXPECT_EQ(cell(f, 3), float(in[f]));
        EXPECT_NEAR(cell(f, 4), percent[f], 1e-3);
        EXPECT_LE(cell(f, 4), 100.0f);
        EXPECT_NEAR(cell(f, 5), inSet > 0 ? 100 * in[f] / inSet : 0, 1e-3);
        EXPECT_NEAR(cell(f, 6), percentSum > 0 ? 100 * percent[f] / percentSum : 0, 1e-3);
    }
    return int(inSet);
}
