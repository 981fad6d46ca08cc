#include "UI_SelectionStatisticsWidget.h"
#include "ui/base/saveTextWithDialog.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_PointStatistics.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QTableWidget>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {
int markerCount() {
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    return header ? std::max(0, header->numVariables()) : 0;
}

// Per marker of the first `m`: whether some event of `points` has a value
// (not NaN) of it. The statistics give 0 for a marker without one, which
// must not read as a measured 0.00. A marker stops the scan for itself at its
// first value, so a selection with values costs about one row.
std::vector<bool> markersWithValues(const std::vector<std::pair<int, int>>& points, int m) {
    std::vector<bool> found(static_cast<size_t>(std::max(0, std::min(m, MCV_PointStatistics::numVariables()))));
    size_t missing = found.size();
    for (const float* row : MCV_PointStatistics::rows(points)) {
        if (missing == 0) break;
        if (!row) continue;
        for (size_t v = 0; v < found.size(); ++v)
            if (!found[v] && !std::isnan(row[v])) {
                found[v] = true;
                --missing;
            }
    }
    return found;
}

// A value the selection did not compute (a list shorter than the header) or
// has nothing to compute from is shown as such, never as a number.
QString formatted(const std::vector<float>& values, const std::vector<bool>& hasValues, int i) {
    if (i < 0 || i >= static_cast<int>(values.size()) || i >= static_cast<int>(hasValues.size()) ||
        !hasValues[static_cast<size_t>(i)])
        return QStringLiteral("n/a");
    return QString::asprintf("%.2f", static_cast<double>(values[static_cast<size_t>(i)]));
}
}  // namespace

UI_SelectionStatisticsWidget::UI_SelectionStatisticsWidget(QWidget* parent) : QWidget(parent) {
    initUI();
    initWidget();
}

UI_SelectionStatisticsWidget::~UI_SelectionStatisticsWidget() = default;

void UI_SelectionStatisticsWidget::initUI() {
    layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table = new QTableWidget(0, 0);
    layout->addWidget(table, 0, 0, 1, 2);
    refreshButton = new QPushButton(QStringLiteral("Refresh"));
    layout->addWidget(refreshButton, 1, 0);
    connect(refreshButton, &QPushButton::clicked, this, &UI_SelectionStatisticsWidget::refreshClicked);
    autoRefreshBox = new QCheckBox(QStringLiteral("Refresh Continously"));
    layout->addWidget(autoRefreshBox, 1, 1);
    connect(autoRefreshBox, &QCheckBox::clicked, this, &UI_SelectionStatisticsWidget::autoRefreshClicked);
}

void UI_SelectionStatisticsWidget::initWidget() {
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    const int m = markerCount();
    table->clear();
    table->setColumnCount(m + 1);
    table->setRowCount(3);
    QStringList labels = {QString()};
    for (int i = 0; i < m; ++i) labels << QString::fromStdString(header->variableName(i));
    table->setHorizontalHeaderLabels(labels);
    items = QVector<QVector<QTableWidgetItem*>>(3, QVector<QTableWidgetItem*>(m + 1, nullptr));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c <= m; ++c) {
            auto* item = new QTableWidgetItem();
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            item->setTextAlignment(Qt::AlignLeft);
            items[r][c] = item;
            table->setItem(r, c, item);
        }
    items[0][0]->setText(QStringLiteral("Median"));
    items[1][0]->setText(QStringLiteral("Mean"));
    items[2][0]->setText(QStringLiteral("Std Dev"));
    table->setColumnWidth(0, QFontMetrics(QFont()).boundingRect(QStringLiteral("Std Dev")).width() + 10);
    if (m < 1) return;
    fillValues();
    for (int i = 0; i < m; ++i) table->setColumnWidth(i + 1, 65);
}

void UI_SelectionStatisticsWidget::fillValues() {
    MCV_DerivedDataPoints* selection = MCV_CytometryData::Instance()->selectionPoints();
    const std::vector<float>& median = selection->medianExpression();
    const std::vector<float>& mean = selection->meanExpression();
    const std::vector<float>& deviation = selection->standardDeviation();
    const int m = std::min(markerCount(), static_cast<int>(items.isEmpty() ? 0 : items[0].size() - 1));
    const std::vector<bool> hasValues = markersWithValues(selection->data(), m);
    for (int i = 0; i < m; ++i) {
        items[0][i + 1]->setText(formatted(median, hasValues, i));
        items[1][i + 1]->setText(formatted(mean, hasValues, i));
        items[2][i + 1]->setText(formatted(deviation, hasValues, i));
    }
}

void UI_SelectionStatisticsWidget::refreshWidget(bool forced) {
    if (!forced && !autoRefreshBox->isChecked()) return;
    // Asked for by hand: every column from the values of this moment, not
    // from statistics kept since the selection was made.
    if (forced) MCV_CytometryData::Instance()->selectionPoints()->invalidateStatistics();
    // Every embedding analysis adds variables: the columns follow.
    if (items.isEmpty() || items[0].size() != markerCount() + 1) {
        initWidget();
        return;
    }
    if (markerCount() < 1) return;
    fillValues();
}

void UI_SelectionStatisticsWidget::refreshClicked() { refreshWidget(true); }

void UI_SelectionStatisticsWidget::autoRefreshClicked() {
    refreshButton->setEnabled(!autoRefreshBox->isChecked());
    refreshWidget(false);
}

QString UI_SelectionStatisticsWidget::csvText() const {
    QStringList lines;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << (table->item(r, c) ? table->item(r, c)->text() : QString());
        lines << cells.join(QStringLiteral(", "));
    }
    return lines.join(QLatin1Char('\n'));
}

void UI_SelectionStatisticsWidget::saveClicked() {
    saveTextWithDialog(this, QStringLiteral("csv"), tr("Table files (*.csv)"), csvText());
}
