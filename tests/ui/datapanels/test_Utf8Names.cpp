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

TEST(Utf8Names, MarkerAndFileNamesReachThePanelsUnchanged) {
    const QString marker = QStringLiteral("Alexa Fluor\u2122 405-A");
    const QString file = QStringLiteral("Probe \u00fc \u03b2.fcs");
    QTemporaryDir dir;
    delete MCV_CytometryData::Instance();
    FcsTestFile fcs = FcsTestFile::floats({{1.0f, 2.0f}});
    fcs.set("$P2S", marker.toStdString());
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(fcs.write(dir, file.toStdString())), 0);
    UI_SelectionStatisticsWidget selectionStatistics(nullptr);
    selectionStatistics.refreshWidget(true);
    UI_MarkerSelectionWidget markers(nullptr, 2);
    markers.refreshWidget(false);
    EXPECT_EQ(selectionStatistics.statisticsTable()->horizontalHeaderItem(2)->text(), marker);
    EXPECT_NE(childWithText<QCheckBox>(&markers, marker), nullptr);
    EXPECT_EQ(UI_SampleStatisticsWidget(nullptr).statisticsTable()->item(0, 1)->text(), file);
    UI_SampleSelectionWidget samples(nullptr);
    EXPECT_NE(childWithText<QLabel>(&samples, file), nullptr);
    delete MCV_CytometryData::Instance();
}
