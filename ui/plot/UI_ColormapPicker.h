#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

class QPropertyAnimation;
class QPushButton;
class UI_MaterialCheckBoxWidget;

// What the 1D and 2D colormap pickers share: a left panel with the active
// colormap's button and a right panel with one button per colormap and the
// "Discrete Colormap" switch, floated over a view's top-right corner. A click
// on the active button slides the right panel into view; choosing a colormap
// slides it back. Hosts push state with setColormap()/setDarkMode(), which
// emit nothing; the signals report only the user's choices. The colormaps and
// their indices are those of MCV_ColormapTable.
class UI_ColormapPicker : public QWidget {
    Q_OBJECT
public:
    // Shows `idx` as active and sets the discrete state. An index outside the
    // table is ignored.
    void setColormap(int idx, bool discrete);
    void setDarkMode(bool dark);
    // Colour table `idx` (RGB bytes of the image, top row first), or null for
    // an index outside the table.
    const std::vector<unsigned char>* colormMapData(int idx) const;

    int activeColormap() const { return m_activeIdx; }
    bool isDiscrete() const { return m_discrete; }
    bool isOpen() const { return m_open; }

signals:
    void colormapSelected(int idx);
    void discreteSelected(bool discrete);

protected:
    // Where everything goes, in the picker's own pixels.
    struct Layout {
        QSize size;
        QRect left, spacer, right;
        QRect activeButton;
        QRect firstButton;  // in the right panel; the next ones `step` to the right
        int step = 0;
        QPoint discreteSwitch;  // in the right panel
        int slideDistance = 0;
    };

    // The colormaps of `dims` dimensions of MCV_ColormapTable.
    UI_ColormapPicker(QWidget* parent, int dims, int activeIdx);
    ~UI_ColormapPicker() override;

    // Builds the panels; called once from the derived constructor, when
    // buttonStyle() is the derived one.
    void build(const Layout& layout);
    // The style sheet of colormap `idx`'s button in the current discrete state.
    virtual QString buttonStyle(int idx) const = 0;

    // The resource path of colormap `idx`'s images without ".png".
    const QString& imagePath(int idx) const { return m_paths[static_cast<size_t>(idx)]; }
    int count() const { return static_cast<int>(m_paths.size()); }
    QWidget* leftPanel() const { return m_leftPanel; }

private:
    void activeColormapClicked();
    void colormapClicked(int id);
    void discreteColormapClicked(int checked);
    void slide(bool open);

    int m_dims;
    std::vector<QString> m_paths;
    std::vector<QPushButton*> m_colormapButtons;
    QPushButton* m_activeButton = nullptr;
    QWidget* m_leftPanel = nullptr;
    QWidget* m_rightPanel = nullptr;
    UI_MaterialCheckBoxWidget* m_discreteSwitch = nullptr;
    QPropertyAnimation* m_slideAnimation = nullptr;
    int m_slideDistance = 0;
    int m_activeIdx;
    bool m_discrete = false;
    bool m_open = false;
};
