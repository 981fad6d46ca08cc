// Names from files are UTF-8 (FCS 3.1 TEXT, file systems): a marker or file
// name with characters beyond ASCII reads the same in every data panel.
#include "data/FcsTestFile.h"
#include "support/WidgetFinders.h"

#include "data/MCV_CytometryData.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(Utf8Names, MarkerAndFileNamesReachThePanelsUnchanged) {
    const QString marker = QStringLiteral("Alexa Fluor\u2122 405-A");
    const QString file = QStringLiteral("Probe \u00fc \u03b2.fcs");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    FcsTestFile fcs = FcsTestFile::floats({{1.0f, 2.0f}, {3.0f, 4.0f}});
    fcs.set("$P1S", "CD3");
    fcs.set("$P2S", marker.toStdString());
    ASSERT_EQ(data->loadFromFile(fcs.write(dir, file.toStdString())), 0);

    UI_SelectionStatisticsWidget selectionStatistics(nullptr);
    selectionStatistics.refreshWidget(true);
    UI_SampleStatisticsWidget sampleStatistics(nullptr);
    UI_SampleSelectionWidget samples(nullptr);
    UI_MarkerSelectionWidget markers(nullptr, 2);
    markers.refreshWidget(false);

    const QTableWidget* selectionTable = selectionStatistics.statisticsTable();
    ASSERT_EQ(selectionTable->columnCount(), 3);
    const struct {
        const char* panel;
        bool shown;
    } cases[] = {
        {"selection statistics header", selectionTable->horizontalHeaderItem(2)->text() == marker},
        {"marker list", childWithText<QCheckBox>(&markers, marker) != nullptr},
        {"sample statistics", sampleStatistics.statisticsTable()->item(0, 1)->text() == file},
        {"sample selection", childWithText<QLabel>(&samples, file) != nullptr},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.shown) << c.panel;
    delete MCV_CytometryData::Instance();
}

}  // namespace
