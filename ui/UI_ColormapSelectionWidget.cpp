#include "ui/UI_ColormapSelectionWidget.h"

#include "ui/UI_ColormapTable.h"
#include "ui/UI_MaterialCheckBoxWidget.h"

#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>

namespace {

const char* const kNames[UI_ColormapSelectionWidget::kNumColormaps] = {
    "Spectral", "RdYlBu", "PiYG", "PuOr", "Magma", "Plasma", "Viridis", "RdPu",
    "YlGnBu", "GnBu", "BuPu", "YlOrRd", "Reds", "qualitative", "Q_BlGrRd"};

// How far the picker moves to show or hide its right panel.
const int kSlideDistance = 555;

}  // namespace

UI_ColormapSelectionWidget::UI_ColormapSelectionWidget(QWidget* parent)
    : QWidget(parent), m_parent(parent), m_activeIdx(6), m_discrete(false), m_open(false) {
    for (const char* name : kNames) m_colormapNames.push_back(QString(":/colormaps/") + name);
    m_lightStyleSheet = QString(
        "QWidget{border: 1px solid rgba(200, 200, 200, 1.0); background-color: rgba(255, 255, 255, 0.02); "
        "padding: 0px; margin: 0px;}") +
        "QLabel{border: none; background-color: transparent; text-align: right;}" + "QLabel{color: black;}";
    m_darkStyleSheet = QString(
        "QWidget{border: 1px solid rgba(35, 35, 35, 1.0); background-color: rgba(255, 255, 255, 0.02); "
        "padding: 0px; margin: 0px;}") +
        "QLabel{border: none; background-color: transparent; text-align: right;}" + "QLabel{color: white;}";
    initUI();
}

UI_ColormapSelectionWidget::~UI_ColormapSelectionWidget() = default;

QString UI_ColormapSelectionWidget::buttonStyle(int idx) const {
    return "QPushButton{background-color: transparent; background-image: url(" + m_colormapNames[idx] + "_vert" +
           (m_discrete ? "_disc" : "") + ".png);}";
}

void UI_ColormapSelectionWidget::initUI() {
    setFixedSize(618, 212);

    m_leftPanel = new QWidget(this);
    m_leftPanel->setGeometry(0, 0, 64, 178);
    auto* spacer = new QWidget(this);
    spacer->setGeometry(64, 0, 14, 178);
    m_rightPanel = new QWidget(this);
    m_rightPanel->setGeometry(78, 0, 540, 212);
    m_leftPanel->setStyleSheet(m_lightStyleSheet);
    m_rightPanel->setStyleSheet(m_lightStyleSheet);

    auto* maxLabel = new QLabel("max", m_leftPanel);
    maxLabel->setGeometry(0, 5, 30, maxLabel->sizeHint().height());
    maxLabel->setAlignment(Qt::AlignRight);
    auto* minLabel = new QLabel("min", m_leftPanel);
    minLabel->setGeometry(0, 158, 30, minLabel->sizeHint().height());
    minLabel->setAlignment(Qt::AlignRight);

    m_activeButton = new QPushButton(m_leftPanel);
    m_activeButton->setGeometry(35, 5, 24, 168);
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));

    for (int i = 0; i < kNumColormaps; ++i) {
        auto* button = new QPushButton(m_rightPanel);
        button->setGeometry(5 + 36 * i, 5, 24, 168);
        button->setStyleSheet(buttonStyle(i));
        connect(button, &QPushButton::released, this, [this, i] { colormapClicked(i); });
        m_colormapButtons.push_back(button);
        m_colormaps.push_back(UI_ColormapTable::load(m_colormapNames[i] + ".png"));
    }
    connect(m_activeButton, &QPushButton::released, this, &UI_ColormapSelectionWidget::activeColormapClicked);

    m_discreteSwitch = new UI_MaterialCheckBoxWidget("Discrete Colormap", m_rightPanel, nullptr);
    m_discreteSwitch->move(5, 180);
    m_discreteSwitch->setChecked(false);
    connect(m_discreteSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_ColormapSelectionWidget::discreteColormapClicked);

    m_slideAnimation = new QPropertyAnimation(this, "geometry", this);
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setEasingCurve(QEasingCurve::InOutCubic);
}

void UI_ColormapSelectionWidget::slideIn() {
    m_open = true;
    const QRect g = geometry();
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setStartValue(g);
    m_slideAnimation->setEndValue(QRect(g.x() - kSlideDistance, g.y(), g.width(), g.height()));
    m_slideAnimation->start();
}

void UI_ColormapSelectionWidget::slideOut() {
    m_open = false;
    const QRect g = geometry();
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setStartValue(g);
    m_slideAnimation->setEndValue(QRect(g.x() + kSlideDistance, g.y(), g.width(), g.height()));
    m_slideAnimation->start();
}

void UI_ColormapSelectionWidget::activeColormapClicked() {
    if (m_open)
        slideOut();
    else
        slideIn();
}

void UI_ColormapSelectionWidget::colormapClicked(int id) {
    setColormap(id, m_discrete);
    emit colormapSelected(m_activeIdx);
    slideOut();
}

void UI_ColormapSelectionWidget::discreteColormapClicked(int checked) {
    setColormap(m_activeIdx, checked != 0);
    emit discreteSelected(m_discrete);
}

void UI_ColormapSelectionWidget::setColormap(int idx, bool discrete) {
    if (idx < 0 || idx >= kNumColormaps) return;
    m_activeIdx = idx;
    if (discrete != m_discrete) {
        m_discrete = discrete;
        m_discreteSwitch->setChecked(discrete);
        for (int i = 0; i < kNumColormaps; ++i) m_colormapButtons[i]->setStyleSheet(buttonStyle(i));
    }
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));
}

void UI_ColormapSelectionWidget::setDarkMode(bool dark) {
    m_leftPanel->setStyleSheet(dark ? m_darkStyleSheet : m_lightStyleSheet);
    m_rightPanel->setStyleSheet(dark ? m_darkStyleSheet : m_lightStyleSheet);
}

std::vector<unsigned char>* UI_ColormapSelectionWidget::colormMapData(int idx) {
    if (idx < 0 || idx >= kNumColormaps) return nullptr;
    return &m_colormaps[idx];
}
