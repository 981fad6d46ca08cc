#pragma once

#include "ui/plot/UI_SettingsSliderWidget.h"

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QGridLayout;
class QResizeEvent;
class UI_DualSliderWidget;

// The slide-in panel of the image view: which image data set is shown, what
// colours it and the value span of the chosen marker. It only reports the
// user's choices as signals; the image view does the work. Marker numbers
// (the marker combo's index - 3): -3 the HSNE coordinates, -2 the t-SNE
// coordinates, -1 the image's RGB channels, i >= 0 marker i. While the combo
// is refilled it reports every index change on the way, -4 for the cleared
// combo included.
class UI_ImageSettingsSliderWidget : public UI_SettingsSliderWidget {
    Q_OBJECT
public:
    explicit UI_ImageSettingsSliderWidget(QWidget* parent);
    ~UI_ImageSettingsSliderWidget() override;

    // Adds the name unless an entry of exactly that text is there.
    void addDataset(std::string name);
    // The three fixed entries, then the markers; the entry shown before stays
    // when its text is still there, else the first entry is shown.
    void setMarkers(std::vector<std::string>* markers);
    void updateMarkerSliderLimits(std::pair<float, float> limits, std::pair<float, float> span);
    void updateMarkerSliderRanges(std::pair<float, float> span);

    QComboBox* datasetCombo() const { return m_datasetCombo; }
    QComboBox* markerCombo() const { return m_markerCombo; }
    UI_DualSliderWidget* markerSpanSlider() const { return m_markerSpanSlider; }

public slots:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void setDataset(int dataset);
    void setMarker(int marker);
    void setMarkerSpan(float lower, float upper);

signals:
    void parentSetDataset(std::string dataset);
    void parentSetMarker(int marker);
    void parentSetMarkerSpan(float lower, float upper);

private:
    void initUI();

    QWidget* m_contentPanel = nullptr;
    QGridLayout* m_contentLayout = nullptr;
    QComboBox* m_datasetCombo = nullptr;
    QComboBox* m_markerCombo = nullptr;
    int m_markerOffset = -3;
    UI_DualSliderWidget* m_markerSpanSlider = nullptr;
};
