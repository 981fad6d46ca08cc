#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QPropertyAnimation;
class QPushButton;
class UI_MaterialCheckBoxWidget;

// Picker of the four two-dimensional colormaps (colour by embedding
// coordinates), floated over a view's top-right corner; it works like the 1D
// picker. Each 128 x 128 image is both the button image and the colour table
// (49152 RGB bytes). The discrete switch only moves; the images stay smooth.
class UI_Colormap2DSelectionWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNumColormaps = 4;

    explicit UI_Colormap2DSelectionWidget(QWidget* parent);
    ~UI_Colormap2DSelectionWidget() override;

    // Shows `idx` as active and sets the discrete state. An index outside the
    // table is ignored.
    void setColormap(int idx, bool discrete);
    void setDarkMode(bool dark);
    // Colour table `idx` (128 x 128 RGB), or null for an index outside 0..3.
    std::vector<unsigned char>* colormMapData(int idx);

    int activeColormap() const { return m_activeIdx; }
    bool isDiscrete() const { return m_discrete; }
    bool isOpen() const { return m_open; }

signals:
    void colormapSelected(int idx);
    void discreteSelected(bool discrete);

private slots:
    void activeColormapClicked();
    void colormapClicked(int id);
    void discreteColormapClicked(int checked);

private:
    void initUI();
    void slideIn();
    void slideOut();
    QString buttonStyle(int idx) const;

    QWidget* m_parent;
    QPropertyAnimation* m_slideAnimation = nullptr;
    std::vector<QPushButton*> m_colormapButtons;
    QPushButton* m_activeButton = nullptr;
    std::vector<std::vector<unsigned char>> m_colormaps;
    QWidget* m_leftPanel = nullptr;
    QWidget* m_rightPanel = nullptr;
    std::vector<QString> m_colormapNames;
    QString m_lightStyleSheet;
    QString m_darkStyleSheet;
    UI_MaterialCheckBoxWidget* m_discreteSwitch = nullptr;
    int m_activeIdx;
    bool m_discrete;
    bool m_open;
};
