#include "UI_SampleStatisticsWidget.h"
#include "ui/base/saveTextWithDialog.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {
const char* const kHeaders[] = {
    "Idx", "Filename", "Total events", "in selection", "% in selection", "% of selection", "% of selection normalized"};

int textWidth(const QString& text) { return QFontMetrics(QFont()).boundingRect(text).width(); }

// a / b, or 0 where the share is undefined or not finite.
float share(float numerator, float denominator) {
    if (denominator == 0.0f) return 0.0f;
    const float v = numerator * 100.0f / denominator;
    return std::isfinite(v) ? v : 0.0f;
}
}  // namespace

UI_SampleStatisticsWidget::UI_SampleStatisticsWidget(QWidget* parent) : QWidget(parent) {
    initUI();
    initWidget();
}

UI_SampleStatisticsWidget::~UI_SampleStatisticsWidget() = default;

void UI_SampleStatisticsWidget::initUI() {
    layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table = new QTableWidget(0, 7);
    // No sort column until the user picks one: rows stay in load order.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    QStringList labels;
    for (const char* h : kHeaders) labels << QString::fromLatin1(h);
    table->setHorizontalHeaderLabels(labels);
    for (int i = 0; i < 7; ++i) table->setColumnWidth(i, std::max(table->columnWidth(i), textWidth(labels[i])));
    layout->addWidget(table, 0, 0);
    saveButton = new QPushButton(QStringLiteral("Save ..."));
    layout->addWidget(saveButton, 1, 0);
    connect(saveButton, &QPushButton::clicked, this, &UI_SampleStatisticsWidget::saveClicked);
}

void UI_SampleStatisticsWidget::initWidget() {
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int n = std::max(0, dataSet->numFiles());
    // Sorting would move a half-filled row as soon as its sort column is set.
    table->setSortingEnabled(false);
    table->setRowCount(n);
    items = QVector<QVector<QTableWidgetItem*>>(n, QVector<QTableWidgetItem*>(7, nullptr));
    for (int i = 0; i < n; ++i) {
        MCV_FcsHeader* header = dataSet->header(i);
        // The name as the file system has it ('#' and '?' included).
        const QString name = header ? QFileInfo(QString::fromStdString(header->fileName())).fileName() : QString();
        const QVariant values[7] = {i + 1, name, header ? header->numEvents() : 0, 0, 0, 0, 0};
        for (int c = 0; c < 7; ++c) {
            auto* item = new QTableWidgetItem();
            item->setData(Qt::DisplayRole, values[c]);
            item->setTextAlignment(c == 1 ? (Qt::AlignLeft | Qt::AlignVCenter) : (Qt::AlignRight | Qt::AlignVCenter));
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            items[i][c] = item;
            table->setItem(i, c, item);
            if (c == 0) table->setColumnWidth(0, textWidth(QStringLiteral("Idx")) + 35);
            if (c == 1) table->setColumnWidth(1, std::max(table->columnWidth(1), textWidth(name) + 35));
        }
    }
    table->setSortingEnabled(true);
}

void UI_SampleStatisticsWidget::setActiveSelection(MCV_DerivedDataPoints* set) {
    activeSelection = set;
    refreshWidget();
}

void UI_SampleStatisticsWidget::refreshWidget() {
    if (!activeSelection) return;
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    MCV_DerivedDataPoints* selection = dataSet->selectionPoints();
    // Rows exist for the files loaded at construction; counts are read only
    // where both the row and the count exist.
    const int files = dataSet->numFiles();
    const int n = std::min(files, static_cast<int>(items.size()));
    if (n < 1) return;
    std::vector<int> events(static_cast<size_t>(files), 0);
    for (int f = 0; f < files; ++f)
        if (MCV_FcsHeader* header = dataSet->header(f)) events[static_cast<size_t>(f)] = header->numEvents();
    const std::vector<int> active = activeSelection->pointsPerFile();
    // The selection may reach beyond the point set (another view's Ctrl+A, a
    // cluster of another analysis): only the point set's own events count.
    const std::vector<int> selected = selectedCounter.count(activeSelection->data(), selection->data(), events);
    float total = 0.0f;
    for (int k : selected) total += static_cast<float>(k);
    auto countOf = [](const std::vector<int>& counts, int i) {
        return i < static_cast<int>(counts.size()) ? counts[static_cast<size_t>(i)] : 0;
    };
    // Sorting would move rows while their cells change.
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        const int a = countOf(active, i);
        const int k = countOf(selected, i);
        const float p = share(static_cast<float>(k), static_cast<float>(a));
        items[i][2]->setData(Qt::DisplayRole, a);
        items[i][3]->setData(Qt::DisplayRole, k);
        items[i][4]->setData(Qt::DisplayRole, p);
        items[i][5]->setData(Qt::DisplayRole, share(static_cast<float>(k), total));
        sum += p;
    }
    for (int i = 0; i < n; ++i)
        items[i][6]->setData(Qt::DisplayRole, share(items[i][4]->data(Qt::DisplayRole).toFloat(), sum));
    table->setSortingEnabled(sorting);
}

QString UI_SampleStatisticsWidget::csvText() const {
    QString text = QStringLiteral(
        "Idx, Filename, Total events, in selection, % in selection, % of selection, % of selection normalized\n");
    QStringList lines;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            const QVariant v = item ? item->data(Qt::DisplayRole) : QVariant();
            if (v.userType() == QMetaType::Float || v.userType() == QMetaType::Double)
                cells << QString::asprintf("%g", v.toDouble());
            else
                cells << v.toString();
        }
        lines << cells.join(QStringLiteral(", "));
    }
    return text + lines.join(QLatin1Char('\n'));
}

void UI_SampleStatisticsWidget::saveClicked() {
    saveTextWithDialog(this, QStringLiteral("csv"), tr("Table files (*.csv)"), csvText());
}
