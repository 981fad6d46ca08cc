#include "app/UI_ImportDialog.h"

#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

UI_ImportDialog::UI_ImportDialog(QWidget* parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setMinimumWidth(450);
    setModal(true);
    setWindowTitle("Succes");
    QGridLayout* layout = new QGridLayout(this);
    layout->setSpacing(15);

    QLabel* label = new QLabel("Files loaded succesfully.", this);
    QFont font = label->font();
    font.setPointSize(12);
    label->setFont(font);
    layout->addWidget(label, 0, 0, 1, 4);

    m_sampleTagCheckBox = new QCheckBox("Add Unique Sample Tag as Channel.", this);
    layout->addWidget(m_sampleTagCheckBox, 1, 0, 1, 4);

    QGridLayout* asinhRow = new QGridLayout();
    m_asinhCheckBox = new QCheckBox("Apply Hyperbolic ArcSin Transform.", this);
    QLabel* cofactorLabel = new QLabel("Cofactor:", this);
    cofactorLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_cofactorSpinBox = new QSpinBox(this);
    m_cofactorSpinBox->setRange(1, 1000);
    m_cofactorSpinBox->setValue(5);
    asinhRow->addWidget(m_asinhCheckBox, 0, 0);
    asinhRow->addWidget(cofactorLabel, 0, 1);
    asinhRow->addWidget(m_cofactorSpinBox, 0, 2);
    asinhRow->setColumnStretch(0, 99);
    asinhRow->setColumnStretch(1, 1);
    asinhRow->setColumnStretch(2, 2);
    layout->addLayout(asinhRow, 2, 0, 1, 4);
    for (int r = 0; r < 3; ++r) layout->setRowStretch(r, 0);
    layout->setRowStretch(3, 1);

    m_markerExpander = new UI_ExpanderWidget(this, false, false);
    m_markerExpander->setHeader("Select Markers for ArcSinH Transform");
    m_importMarkers = new UI_MarkerSelectionWidget(this, 4);
    m_importMarkers->refreshWidget(false);
    m_markerExpander->setBody(m_importMarkers);
    layout->addWidget(m_markerExpander, 4, 0, 1, 4);

    const struct {
        const char* text;
        Choice choice;
    } buttons[] = {{"Start SPADE", StartSpade}, {"Start A-tSNE", StartTsne}, {"Start HSNE", StartHsne}, {"OK", Ok}};
    int column = 0;
    for (const auto& b : buttons) {
        QPushButton* button = new QPushButton(b.text, this);
        button->setObjectName(QString("importButton%1").arg(b.choice));
        layout->addWidget(button, 5, column++, Qt::AlignTop);
        const int result = b.choice;
        connect(button, &QPushButton::clicked, this, [this, result]() { done(result); });
        if (b.choice == Ok) button->setDefault(true);
    }
    connect(m_asinhCheckBox, &QCheckBox::clicked, this, &UI_ImportDialog::showMarkers);
}

bool UI_ImportDialog::sampleTagChosen() const { return m_sampleTagCheckBox->isChecked(); }
bool UI_ImportDialog::arcSinChosen() const { return m_asinhCheckBox->isChecked(); }
int UI_ImportDialog::cofactor() const { return m_cofactorSpinBox->value(); }
std::vector<bool> UI_ImportDialog::arcSinMarkers() const { return m_importMarkers->markerSelectionState(); }

void UI_ImportDialog::showMarkers(bool shown) {
    m_markerExpander->hideBody(!shown);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (layout()) layout()->activate();
    resize(sizeHint());
}
