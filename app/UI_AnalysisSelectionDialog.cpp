#include "app/UI_AnalysisSelectionDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QStringListModel>

UI_AnalysisSelectionDialog::UI_AnalysisSelectionDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags) {}

void UI_AnalysisSelectionDialog::init(QStringList names) {
    setWindowTitle("Select Analysis");
    setModal(true);
    m_layout = new QGridLayout(this);

    QLabel* label = new QLabel("Select an existing analysis, this view should be attached to.", this);
    QFont font = label->font();
    font.setPointSize(12);
    label->setFont(font);
    m_layout->addWidget(label, 0, 0);

    QStringListModel* model = new QStringListModel(names, this);
    m_listView = new QListView(this);
    m_listView->setModel(model);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setCurrentIndex(model->index(0, 0));
    m_layout->addWidget(m_listView, 1, 0);

    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_layout->addWidget(buttons, 2, 0);
}

int UI_AnalysisSelectionDialog::selectedIdx() const {
    if (!m_listView || !m_listView->selectionModel()) return -1;
    const QModelIndexList selected = m_listView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

QListView* UI_AnalysisSelectionDialog::listView() const { return m_listView; }
