#pragma once

#include "UI_SettingsSliderWidget.h"

#include <QIcon>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MCV_Analysis;
class QComboBox;
class QGridLayout;
class QPushButton;
class QRadioButton;
class QResizeEvent;
class QSlider;
class QSpinBox;
class UI_DualSliderWidget;
class UI_EmbeddingControl;
class UI_MaterialCheckBoxWidget;

// The slide-in panel of an embedding view (t-SNE, HSNE level or
// focus-and-context analysis). Display settings (render mode, dark mode,
// recording, colouring marker and its span, point style, density sigma,
// clustering) leave the panel only as signals, which the host turns into
// renderer settings. Embedding controls (run/pause, restart, iteration count,
// exaggeration length and decay) go to the analysis through its
// UI_EmbeddingControl. Host setters emit nothing of the panel's own.
//
// Built without an analysis, the panel is the bare base panel and none of the
// operations below may be used on it.
class UI_TsneSettingsSliderWidget : public UI_SettingsSliderWidget {
    Q_OBJECT
public:
    UI_TsneSettingsSliderWidget(MCV_Analysis* analysis, QWidget* parent);
    ~UI_TsneSettingsSliderWidget() override;

    // true: enables run, restart and "Cluster" (for good) and shows the pause
    // icon; false: shows the run icon.
    void setEmbeddingState(bool running);
    // Refills the marker combo with the data kind's extra entries ("Sample"
    // for point data; "Coordinates", "Image RGB" for image data) and the
    // marker names, keeping the current entry when its text is still there.
    void setMarkers(std::vector<std::string>* markers);
    void updateMarkerSliderLimits(std::pair<float, float> limits, std::pair<float, float> span);
    void updateMarkerSliderRanges(std::pair<float, float> span);
    // Shows the sigma and the cluster resolution of a clustering the plot
    // took over from another plot.
    void showClustering(float sigma, int gridSide);

protected:
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void setMode(int mode);
    void darkModeChecked(int mode);
    void recordChecked(int recording);
    void setMarker(int marker);
    void setMarkerSpan(float lower, float upper);
    void setpointSize(int pointSize);
    void setpointOpacity(int pointOpacity);
    void setpointHaloSize(int pointHaloSize);
    void greedyScaleChecked(int mode);
    void saturationChanged(int saturation);
    void sigmaChanged(int sigma);
    void setAdvancedMode();
    void iterationsChanged(int value);
    void exaggerationItChanged(int value);
    void expDecayChanged(int value);
    void msGridSizeChanged(int value);
    void restartEmbeddingPressed();
    void computeEmbeddingPressed();
    void computeMSOnce();
    void computeMSotf(int state);

signals:
    void parentSetDarkMode(bool mode);
    void parentSetRecording(bool recording);
    void parentSetMode(int mode);
    void parentSetPointBasedMode(int mode);
    void parentSetMarker(int marker);
    void parentSetMarkerSpan(float lower, float upper);
    void parentSetpointSize(float pointSize);
    void parentSetpointOpacity(float pointOpacity);
    void parentSetpointHaloSize(float pointHaloSize);
    void parentSetGreedyScaleMode(bool mode);
    void parentSetSaturation(float saturation);
    void parentSetSigma(float sigma);
    void parentSetAdvancedMode(int mode);
    void msGridSizeChangedSignal(int value);
    void computeMSOnceSignal();
    void computeMSotfSignal(int state);
    void computationStartedSignal();

private:
    // Sigma per step of the sigma controls.
    static constexpr float kSigmaStep = 0.005f;

    void initUI();
    QWidget* buildSingleCellPage(const QString& style);
    QWidget* buildClusteringPage(const QString& style);
    QWidget* buildAdvancedPage(const QString& style);
    // Puts `page` where the shown page is; the others lose their parent.
    void showPage(QWidget* page);
    // Entries before the first marker: 2 for image data, 1 for point data
    // (also when the analysis runs on all events), 0 for other kinds.
    int extraMarkerEntries() const;
    // True for the embedding analyses (type codes 1, 2, 3).
    bool isEmbeddingAnalysis() const;
    // Shows the warning and returns false when no marker is selected.
    bool markersSelected();

    MCV_Analysis* m_analysis;
    QComboBox* m_modeCombo = nullptr;
    UI_MaterialCheckBoxWidget* m_darkModeSwitch = nullptr;
    UI_MaterialCheckBoxWidget* m_recordSwitch = nullptr;
    QWidget* m_contentPanel = nullptr;
    QWidget* m_controlPanel = nullptr;
    QGridLayout* m_contentLayout = nullptr;
    QWidget* m_singleCellPage = nullptr;
    QWidget* m_clusteringPage = nullptr;
    QWidget* m_advancedPage = nullptr;
    QComboBox* m_markerCombo = nullptr;
    UI_DualSliderWidget* m_markerSpanSlider = nullptr;
    QSlider* m_sigmaSlider = nullptr;
    QSlider* m_advancedSigmaSlider = nullptr;
    QSpinBox* m_sigmaSpinBox = nullptr;
    QSpinBox* m_advancedSigmaSpinBox = nullptr;
    QRadioButton* m_clustersPointsRadio = nullptr;
    QRadioButton* m_clustersPartitionsRadio = nullptr;
    QRadioButton* m_rawDensityRadio = nullptr;
    QRadioButton* m_gradientsRadio = nullptr;
    QSpinBox* m_exaggerationSpinBox = nullptr;
    QSpinBox* m_expDecaySpinBox = nullptr;
    QSpinBox* m_gridSizeSpinBox = nullptr;
    QPushButton* m_restartButton = nullptr;
    QPushButton* m_runButton = nullptr;
    QSpinBox* m_iterationsSpinBox = nullptr;
    QPushButton* m_clusterButton = nullptr;
    UI_MaterialCheckBoxWidget* m_continuousSwitch = nullptr;
    QIcon m_restartIcon;
    QIcon m_runIcon;
    QIcon m_pauseIcon;
    int m_advancedMode = 0;
    std::unique_ptr<UI_EmbeddingControl> m_control;
};
