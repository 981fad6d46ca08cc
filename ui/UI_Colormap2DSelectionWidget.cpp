#include "ui/UI_Colormap2DSelectionWidget.h"

#include "ui/UI_ColormapTable.h"
#include "ui/UI_MaterialCheckBoxWidget.h"

#include <QPropertyAnimation>
#include <QPushButton>

namespace {

const char* const kNames[UI_Colormap2DSelectionWidget::kNumColormaps] = {
    "2D_Tarn", "2D_Tarn_stretched", "2D_Halvick", "2D_Drisco_noWhitening"};

// How far the picker moves to show or hide its right panel.
const int kSlideDistance = 567;

}  // namespace

UI_Colormap2DSelectionWidget::UI_Colormap2DSelectionWidget(QWidget* parent)
    : QWidget(parent), m_parent(parent), m_activeIdx(0), m_discrete(false), m_open(false) {
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

UI_Colormap2DSelectionWidget::~UI_Colormap2DSelectionWidget() = default;

QString UI_Colormap2DSelectionWidget::buttonStyle(int idx) const {
    return "QPushButton{background-color: transparent; background-image: url(" + m_colormapNames[idx] + ".png);}";
}

void UI_Colormap2DSelectionWidget::initUI() {
    setFixedSize(704, 172);

    m_leftPanel = new QWidget(this);
    m_leftPanel->setGeometry(0, 0, 138, 138);
    auto* spacer = new QWidget(this);
    spacer->setGeometry(138, 0, 14, 138);
    m_rightPanel = new QWidget(this);
    m_rightPanel->setGeometry(152, 0, 552, 172);
    m_leftPanel->setStyleSheet(m_lightStyleSheet);
    m_rightPanel->setStyleSheet(m_lightStyleSheet);

    m_activeButton = new QPushButton(m_leftPanel);
    m_activeButton->setGeometry(5, 5, 128, 128);
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));

    for (int i = 0; i < kNumColormaps; ++i) {
        auto* button = new QPushButton(m_rightPanel);
        button->setGeometry(5 + 138 * i, 5, 128, 128);
        button->setStyleSheet(buttonStyle(i));
        connect(button, &QPushButton::released, this, [this, i] { colormapClicked(i); });
        m_colormapButtons.push_back(button);
        m_colormaps.push_back(UI_ColormapTable::load(m_colormapNames[i] + ".png"));
    }
    connect(m_activeButton, &QPushButton::released, this, &UI_Colormap2DSelectionWidget::activeColormapClicked);

    m_discreteSwitch = new UI_MaterialCheckBoxWidget("Discrete Colormap", m_rightPanel, nullptr);
    m_discreteSwitch->move(5, 140);
    m_discreteSwitch->setChecked(false);
    connect(m_discreteSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_Colormap2DSelectionWidget::discreteColormapClicked);

    m_slideAnimation = new QPropertyAnimation(this, "geometry", this);
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setEasingCurve(QEasingCurve::InOutCubic);
}

void UI_Colormap2DSelectionWidget::slideIn() {
    m_open = true;
    const QRect g = geometry();
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setStartValue(g);
    m_slideAnimation->setEndValue(QRect(g.x() - kSlideDistance, g.y(), g.width(), g.height()));
    m_slideAnimation->start();
}

void UI_Colormap2DSelectionWidget::slideOut() {
    m_open = false;
    const QRect g = geometry();
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setStartValue(g);
    m_slideAnimation->setEndValue(QRect(g.x() + kSlideDistance, g.y(), g.width(), g.height()));
    m_slideAnimation->start();
}

void UI_Colormap2DSelectionWidget::activeColormapClicked() {
    if (m_open)
        slideOut();
    else
        slideIn();
}

void UI_Colormap2DSelectionWidget::colormapClicked(int id) {
    setColormap(id, m_discrete);
    emit colormapSelected(m_activeIdx);
    slideOut();
}

void UI_Colormap2DSelectionWidget::discreteColormapClicked(int checked) {
    setColormap(m_activeIdx, checked != 0);
    emit discreteSelected(m_discrete);
}

void UI_Colormap2DSelectionWidget::setColormap(int idx, bool discrete) {
    if (idx < 0 || idx >= kNumColormaps) return;
    m_activeIdx = idx;
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));
    if (discrete == m_discrete) return;
    m_discrete = discrete;
    m_discreteSwitch->setChecked(discrete);
    for (int i = 0; i < kNumColormaps; ++i) m_colormapButtons[i]->setStyleSheet(buttonStyle(i));
}

void UI_Colormap2DSelectionWidget::setDarkMode(bool dark) {
    m_leftPanel->setStyleSheet(dark ? m_darkStyleSheet : m_lightStyleSheet);
    m_rightPanel->setStyleSheet(dark ? m_darkStyleSheet : m_lightStyleSheet);
}

std::vector<unsigned char>* UI_Colormap2DSelectionWidget::colormMapData(int idx) {
    if (idx < 0 || idx >= kNumColormaps) return nullptr;
    return &m_colormaps[idx];
}
