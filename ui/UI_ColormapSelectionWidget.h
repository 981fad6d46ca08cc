#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class QPropertyAnimation;
class QPushButton;
class UI_MaterialCheckBoxWidget;

// Picker of the 15 one-dimensional colormaps, floated over a view's top-right
// corner. Closed, only the left panel with the active colormap shows; a click
// on it slides the panel with all colormaps and the "Discrete Colormap" switch
// into view, and choosing one slides it back. Hosts push state with
// setColormap()/setDarkMode(), which emit nothing; the signals report only the
// user's choices. Also holds every colormap's colour table (200 RGB pixels,
// lowest value first) for views that look colours up.
class UI_ColormapSelectionWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNumColormaps = 15;

    explicit UI_ColormapSelectionWidget(QWidget* parent);
    ~UI_ColormapSelectionWidget() override;

    // Shows `idx` as active and sets the discrete state. An index outside the
    // table is ignored.
    void setColormap(int idx, bool discrete);
    void setDarkMode(bool dark);
    // Colour table `idx` (600 bytes), or null for an index outside 0..14.
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
