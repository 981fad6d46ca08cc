#include "UI_SelectiveDownsamplingWidget.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <QDebug>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>
#include <numeric>
#include <string>

namespace {
int textWidth(const QString& text) { return QFontMetrics(QFont()).boundingRect(text).width(); }

QTableWidgetItem* countItem(int value, bool editable) {
    auto* item = new QTableWidgetItem(QString::number(value));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}
}  // namespace

UI_SelectiveDownsamplingWidget::UI_SelectiveDownsamplingWidget(QWidget* parent) : UI_DockableWidget(parent) {
    initUI();
}

UI_SelectiveDownsamplingWidget::~UI_SelectiveDownsamplingWidget() = default;

void UI_SelectiveDownsamplingWidget::initUI() {
    setWindowTitle(QStringLiteral("Downsampling"));
    table = new QTableWidget(1, 3);
    const QStringList labels = {QStringLiteral("Filename"), QStringLiteral("Selected"), QStringLiteral("Target")};
    table->setHorizontalHeaderLabels(labels);
    for (int i = 0; i < 3; ++i) table->setColumnWidth(i, std::max(table->columnWidth(i), textWidth(labels[i])));
    table->setSelectionMode(QAbstractItemView::NoSelection);
    connect(table, &QTableWidget::cellChanged, this, &UI_SelectiveDownsamplingWidget::cellEdited);
    mainLayout()->addWidget(table, 0, 0);
    auto* button = new QPushButton(QStringLiteral("Downsample"));
    connect(button, &QPushButton::clicked, this, &UI_SelectiveDownsamplingWidget::downsample);
    mainLayout()->addWidget(button, 1, 0);
}

void UI_SelectiveDownsamplingWidget::refreshWidget(MCV_Analysis* /*analysis*/) { refreshWidget(); }

void UI_SelectiveDownsamplingWidget::setActiveSelection(MCV_DerivedDataPoints* set) {
    activeSelection = set;
    refreshWidget();
}

void UI_SelectiveDownsamplingWidget::refreshWidget() {
    if (!activeSelection) return;
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int n = std::max(0, dataSet->numFiles());
    // The counts first, so that the edit handler (run for every cell put in
    // place below) clamps against the new counts.
    selectedCounts = activeSelection->pointsPerFile();
    selectedCounts.resize(static_cast<size_t>(n), 0);
    targetCounts.resize(static_cast<size_t>(n), 0);
    for (size_t i = 0; i < targetCounts.size(); ++i)
        targetCounts[i] = std::max(0, std::min(targetCounts[i], selectedCounts[i]));
    table->setRowCount(n);
    for (int i = 0; i < n; ++i) {
        MCV_FcsHeader* header = dataSet->header(i);
        // The name as the file system has it: '#' and '?' are part of it.
        const QString name = header ? QFileInfo(QString::fromStdString(header->fileName())).fileName() : QString();
        auto* nameItem = new QTableWidgetItem(name);
        nameItem->setFlags(nameItem->flags() & ~Qt::ItemIsEditable);
        table->setItem(i, 0, nameItem);
        table->setColumnWidth(0, std::max(table->columnWidth(0), textWidth(name) + 20));
        const size_t row = static_cast<size_t>(i);
        table->setItem(i, 1, countItem(selectedCounts[row], false));
        table->setColumnWidth(1, std::max(table->columnWidth(1), textWidth(QString::number(targetCounts[row])) + 20));
        table->setItem(i, 2, countItem(targetCounts[row], true));
    }
}

void UI_SelectiveDownsamplingWidget::cellEdited(int row, int column) {
    if (column != 2 || row < 0) return;
    // The empty row shown before any input set has no counts.
    if (static_cast<size_t>(row) >= selectedCounts.size() || static_cast<size_t>(row) >= targetCounts.size()) return;
    QTableWidgetItem* item = table->item(row, 2);
    if (!item) return;
    bool ok = false;
    const long long typed = item->text().toLongLong(&ok, 10);
    const long long value = ok ? typed : 0;
    const int clamped =
        static_cast<int>(std::max<long long>(0, std::min<long long>(value, selectedCounts[static_cast<size_t>(row)])));
    targetCounts[static_cast<size_t>(row)] = clamped;
    const QString text = QString::number(clamped);
    if (item->text() != text) item->setText(text);
}

void UI_SelectiveDownsamplingWidget::downsample() {
    const long long total = std::accumulate(targetCounts.begin(), targetCounts.end(), 0LL);
    if (total < 1) {
        qDebug() << "Can not downsample to 0 total points!\n";
        emit downsampleRefused(
            QStringLiteral("Can not downsample to 0 total points! Set a Target above 0 for at "
                           "least one sample, then press Downsample again."));
        return;
    }
    // Targets may remain from an earlier binding while no set is bound now.
    if (!activeSelection) {
        qDebug() << "Can not downsample: no input data is chosen.";
        emit downsampleRefused(
            QStringLiteral("Can not downsample: no input data is chosen. Choose the input data "
                           "in the panel, then press Downsample again."));
        return;
    }
    const std::string base = activeSelection->name() + "-downsampled";
    std::string candidate = base;
    int k = 1;
    const std::vector<MCV_DerivedDataPoints*> sets = MCV_CytometryData::Instance()->derivedDataPoints();
    for (bool taken = true; taken;) {
        taken = false;
        for (MCV_DerivedDataPoints* set : sets)
            if (set && set->name() == candidate) {
                candidate = base + "(" + std::to_string(k++) + ")";
                taken = true;
                break;
            }
    }
    MCV_DerivedDataPoints* made =
        MCV_CytometryData::Instance()->addDownsampledData(candidate, activeSelection, targetCounts);
    if (made)
        emit downsampleDone(QStringLiteral("%1: %2 events")
                                .arg(QString::fromStdString(made->name()))
                                .arg(static_cast<qulonglong>(made->data().size())));
    emit dataDownsampled();
}
