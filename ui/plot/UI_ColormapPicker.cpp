#include "UI_ColormapPicker.h"

#include "render/MCV_ColormapTable.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QPropertyAnimation>
#include <QPushButton>

namespace {

QString panelStyle(bool dark) {
    return QString(
               "QWidget{border: 1px solid rgba(%1, 1.0); background-color: rgba(255, 255, 255, 0.02); "
               "padding: 0px; margin: 0px;}")
               .arg(dark ? "35, 35, 35" : "200, 200, 200") +
           "QLabel{border: none; background-color: transparent; text-align: right;}" +
           (dark ? "QLabel{color: white;}" : "QLabel{color: black;}");
}

}  // namespace

UI_ColormapPicker::UI_ColormapPicker(QWidget* parent, int dims, int activeIdx)
    : QWidget(parent), m_dims(dims), m_activeIdx(activeIdx) {
    for (const std::string& name : MCV_ColormapTable::names(dims))
        m_paths.push_back(QString::fromStdString(MCV_ColormapTable::resourceStem(name)));
}

UI_ColormapPicker::~UI_ColormapPicker() = default;

void UI_ColormapPicker::build(const Layout& layout) {
    setFixedSize(layout.size);
    m_slideDistance = layout.slideDistance;

    m_leftPanel = new QWidget(this);
    m_leftPanel->setGeometry(layout.left);
    auto* spacer = new QWidget(this);
    spacer->setGeometry(layout.spacer);
    m_rightPanel = new QWidget(this);
    m_rightPanel->setGeometry(layout.right);
    setDarkMode(false);

    m_activeButton = new QPushButton(m_leftPanel);
    m_activeButton->setGeometry(layout.activeButton);
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));

    for (int i = 0; i < count(); ++i) {
        auto* button = new QPushButton(m_rightPanel);
        button->setGeometry(layout.firstButton.translated(layout.step * i, 0));
        button->setStyleSheet(buttonStyle(i));
        connect(button, &QPushButton::released, this, [this, i] { colormapClicked(i); });
        m_colormapButtons.push_back(button);
    }
    connect(m_activeButton, &QPushButton::released, this, &UI_ColormapPicker::activeColormapClicked);

    m_discreteSwitch = new UI_MaterialCheckBoxWidget("Discrete Colormap", m_rightPanel, nullptr);
    m_discreteSwitch->move(layout.discreteSwitch);
    m_discreteSwitch->setChecked(false);
    connect(m_discreteSwitch, &UI_MaterialCheckBoxWidget::stateChanged, this,
            &UI_ColormapPicker::discreteColormapClicked);

    m_slideAnimation = new QPropertyAnimation(this, "geometry", this);
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setEasingCurve(QEasingCurve::InOutCubic);
}

void UI_ColormapPicker::slide(bool open) {
    m_open = open;
    const QRect g = geometry();
    m_slideAnimation->setStartValue(g);
    m_slideAnimation->setEndValue(g.translated(open ? -m_slideDistance : m_slideDistance, 0));
    m_slideAnimation->start();
}

void UI_ColormapPicker::activeColormapClicked() { slide(!m_open); }

void UI_ColormapPicker::colormapClicked(int id) {
    setColormap(id, m_discrete);
    emit colormapSelected(m_activeIdx);
    slide(false);
}

void UI_ColormapPicker::discreteColormapClicked(int checked) {
    setColormap(m_activeIdx, checked != 0);
    emit discreteSelected(m_discrete);
}

void UI_ColormapPicker::setColormap(int idx, bool discrete) {
    if (idx < 0 || idx >= count()) return;
    m_activeIdx = idx;
    if (discrete != m_discrete) {
        m_discrete = discrete;
        m_discreteSwitch->setChecked(discrete);
        for (int i = 0; i < count(); ++i) m_colormapButtons[static_cast<size_t>(i)]->setStyleSheet(buttonStyle(i));
    }
    m_activeButton->setStyleSheet(buttonStyle(m_activeIdx));
}

void UI_ColormapPicker::setDarkMode(bool dark) {
    m_leftPanel->setStyleSheet(panelStyle(dark));
    m_rightPanel->setStyleSheet(panelStyle(dark));
}

const std::vector<unsigned char>* UI_ColormapPicker::colormMapData(int idx) const {
    if (idx < 0 || idx >= count()) return nullptr;
    return &MCV_ColormapTable::image(idx, m_dims).rgb;
}
