#pragma once

#include <epoxy/gl.h>

#include <QMatrix4x4>
#include <QOpenGLWidget>
#include <QPoint>
#include <QString>

#include <string>
#include <utility>
#include <vector>

class MCV_Analysis;
class MCV_PointRenderer;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class UI_Colormap2DSelectionWidget;
class UI_ColormapSelectionWidget;
class UI_ProgressSpinnerWidget;
class UI_SampleSelectionWidget;
class UI_SampleStatisticsWidget;
class UI_SelectionStatisticsWidget;
class UI_TsneSettingsSliderWidget;

// The OpenGL view of one analysis' embedding. It owns a point renderer, hosts
// the slide-in settings panel, the two colormap pickers and a busy spinner as
// children over the GL surface, turns mouse and keyboard input into selection
// calls and forwards every visual setting to the renderer.
//
// Contract: every renderer call made outside the GL callbacks is bracketed by
// makeCurrent()/doneCurrent(). The renderer exists from the first
// initializeGL() on; setLocalData and the last setSelection before it are
// carried out there, the other data and selection operations do nothing
// before.
// Mouse positions are logical pixels with y counted from the bottom edge; the
// renderer receives them multiplied by the device pixel ratio (device pixels).
// GUI thread only.
class UI_ScatterplotWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    UI_ScatterplotWidget(MCV_Analysis* analysis, QWidget* parent);
    ~UI_ScatterplotWidget() override;

    // ---- Operations for the owning view (nothing without a renderer) ----
    // Takes the analysis' embedding, markers and files into the renderer
    // (when it is made, before).
    void setLocalData(int dataIdx);
    // Takes the analysis' positions and marker values again. A marker's range
    // that was its data range follows the new values; a range the user set
    // stays.
    void copyLocalData();
    // After variables were appended to the data, whose rows the analysis now
    // holds `dataIdx` wide: takes its marker values again at that width
    // before the next frame (a plot not yet fed waits for setLocalData).
    // Every marker keeps its column, so the active marker and the ranges the
    // user set stay on their markers; the new markers get their data ranges.
    void followColumns(int dataIdx);
    // New positions only, after every iteration of a running embedding: the
    // renderer takes them at its next frame or rectangle selection (no
    // context, no upload here).
    void copyLocalVertexData();
    // Works without a renderer: the names go to the settings panel.
    void setMarkers(std::vector<std::string> markers);
    // A selection made elsewhere (one value per point, non-zero selected).
    // Before the renderer exists the vector (which must outlive the plot) is
    // kept and shown once the renderer is made.
    void setSelection(std::vector<short>* selection, bool flag);
    // The sample and selection statistics anew, for a selection change that
    // gives the plot no flags (it had no points when the view last took one).
    void refreshSelectionPanels();
    void highlightRefreshed(void* data);
    void dataRefreshed(void* data);
    // The renderer's selected point indices (the last known pointer when
    // there is no renderer; null before any selection).
    std::vector<int>* selectionIdxs();
    // One flag per sample file loaded when the plot was made, cleared for the
    // samples hidden in the plot.
    std::vector<bool> sampleSelectionState() const;
    // Adds the cluster actions to `menu` (which may hold the view's own) and
    // runs it at `pos` when it holds any action.
    void showContextMenu(const QPoint& pos, QMenu* menu);
    // Saves the plot's density clusters as FCS files (saveClustersWithDialog):
    // nothing without a named cluster set.
    void saveClusters(bool perSample);
    // Prints the plot at the renderer's print size into a PNG in `directory`
    // (the home folder when empty) named after the active marker with the
    // local time to the millisecond ("_1", "_2", ... added when that name
    // exists). Returns the path written, or "" when nothing was written (no
    // renderer, no print image, or the write failed: a warning on the log,
    // and in `failure`, when given, the file and the reason, as in "<path>
    // was not written: writing failed (No space left on device)").
    // `verbose` logs the path of a saved image.
    QString saveScreenshot(QString directory, bool verbose, QString* failure = nullptr);

    MCV_PointRenderer* pointRenderer() const { return renderer; }
    UI_TsneSettingsSliderWidget* settingsPanel() const { return sliderPanel; }
    UI_ColormapSelectionWidget* colormapSelection() const { return colormapPicker; }
    UI_Colormap2DSelectionWidget* colormap2DSelection() const { return colormap2DPicker; }
    UI_ProgressSpinnerWidget* spinner() const { return progressSpinner; }
    UI_SampleSelectionWidget* samplePanel() const { return sampleSelection; }
    UI_SampleStatisticsWidget* sampleStatisticsPanel() const { return sampleStatistics; }
    UI_SelectionStatisticsWidget* selectionStatisticsPanel() const { return selectionStatistics; }
    int currentMarker() const { return activeMarker; }
    bool isRecording() const { return recording; }
    float devicePixelScale() const { return pixelRatio; }

signals:
    void selectionUpdated();
    // Declared for the views; this widget does not emit it.
    void clusterSelected(int clusterId);
    void rightClick(QMouseEvent* event);

public slots:
    void colormapChanged(int idx);
    void colormap2DChanged(int idx);
    void colormapDiscreteChanged(bool discrete);
    void colormap2DDiscreteChanged(bool discrete);
    void setMode(int mode);
    void setDarkMode(bool dark);
    // On with frames already recorded asks whether to clear them ("Clear")
    // or to add to them ("Keep").
    void setRecording(bool on);
    // Control+P, wherever the focus is inside the plot (its overlay panels
    // included): one screenshot into the export folder, reported in the
    // main window's status bar, a failure with its reason.
    void printScreenshot();
    // Runs the export dialog; "Capture" prints one screenshot per chosen
    // marker with the chosen range and background, showing its progress
    // with a Cancel button that stops after the image being written (the
    // images written stay). The status bar says how many were saved, and
    // when any failed, why the first did.
    void takeScreenshotSeries();
    // Writes the recorded frames (kept in the renderer) as a video; bitrate in
    // kbit/s. Without frames a box says there is nothing to save; a warning
    // box when writing fails.
    void saveVideo(QString fileName, int bitrate, int fps);
    void setPointBasedMode(int mode);
    void setMarker(int marker);
    void setMarkerSpan(float lower, float upper);
    void setLowerMarkerBoundary(float value);
    void setUpperMarkerBoundary(float value);
    void setSaturation(float value);
    void setSigma(float value);
    void setAdvancedMode(int mode);
    void pointSizeChanged(float value);
    void pointOpacityChanged(float value);
    void pointHaloSizeChanged(float value);
    void pointScaleGreedyChanged(bool on);
    void setMsGrid(int value);
    void setOtfClustering(int active);
    void cluster();
    void computationStarted();
    void sampleSelectionUpdated();
    void sampleColorsUpdated();
    void computationFinished();
    void showProgressSpinner();
    void hideProgressSpinner();
    void cleanup();
    // Asks for a frame; a shown busy ring turns one step with it.
    void refresh();
    void updatePixelRatio();
    void menuShown();
    void menuHidden();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initUI();
    // setLocalData with the context current.
    void takeLocalData(int dataIdx);
    // The sample table anew for the selection as it is now, counted against
    // the analysis's own points as they are now (a new run or a rebuilt
    // hierarchy takes new ones), never against its input set.
    void refreshSampleStatistics();
    // Runs `retake`, which makes the renderer take its marker values again
    // (context current), then puts back every range the user had set, by
    // marker column, and shows the active marker's.
    template <typename Retake>
    void retakeMarkers(Retake retake);
    // The analysis' marker values again, as retakeMarkers does; positions,
    // selection and density clusters stay as they are.
    void retakeMarkerValues();
    // Places the pickers and the spinner for the current size.
    void placeChildren();
    // 1 Control (Command on macOS), else 2 Shift, else 0.
    static int selectionModifierOf(Qt::KeyboardModifiers modifiers);
    // Whether 0 <= activeMarker < the size of `ranges` (which may be null).
    bool activeMarkerIn(const std::vector<std::pair<float, float>>* ranges) const;
    int deviceCoordinate(int logical) const;
    // Hands the active marker's limits and range to the settings panel.
    void showActiveMarkerRange();
    // The active marker's name, "sampleTag" for the negative markers, or
    // "screenshot" without names.
    QString screenshotName() const;
    // Tells the user where an export went, in the owning main window's
    // status bar.
    void reportExport(const QString& text);
    // Every plot made and not yet destroyed (GUI thread).
    static std::vector<UI_ScatterplotWidget*>& openPlots();
    // After the renderer may have clustered (a frame, "Cluster"): a new
    // clustering refilled the analysis' one density cluster set, so every
    // other plot of the analysis takes it over.
    void shareClustering();
    // Takes over `source`'s clustering (a plot of the same analysis) and
    // shows its sigma and grid side in the panel, without them acting.
    void followClustering(const MCV_PointRenderer& source);
    // A plot that takes the analysis' data for the first time shows the
    // clusters another plot of the analysis holds while they are current
    // (every such plot holds the last clustering).
    void takeCurrentClustering();

    MCV_Analysis* analysis;
    MCV_PointRenderer* renderer = nullptr;
    // The marker count of a setLocalData made before the renderer, or -1.
    int pendingDataIdx = -1;
    // The renderer has taken the analysis' data (setLocalData).
    bool localDataTaken = false;
    // The selection of a setSelection made before the renderer, or null.
    std::vector<short>* pendingSelection = nullptr;
    float pixelRatio = 1.0f;
    QMatrix4x4 projection;
    QMatrix4x4 view;
    QMatrix4x4 model;

    UI_TsneSettingsSliderWidget* sliderPanel = nullptr;
    UI_ColormapSelectionWidget* colormapPicker = nullptr;
    UI_Colormap2DSelectionWidget* colormap2DPicker = nullptr;
    UI_ProgressSpinnerWidget* progressSpinner = nullptr;
    // The data panels have no parent (they become tabs of the panel's
    // Extended Settings dock); this widget deletes them.
    UI_SampleSelectionWidget* sampleSelection = nullptr;
    UI_SampleStatisticsWidget* sampleStatistics = nullptr;
    UI_SelectionStatisticsWidget* selectionStatistics = nullptr;

    int activeMarker = 0;
    int mode = 0;
    int pointBasedMode = 0;
    bool darkMode = false;
    bool recording = false;
    bool selecting = false;
    int pressX = 0;
    int pressY = 0;
    bool isMenuShown = false;
    bool screenConnected = false;
    // The renderer's clustering count last handed to the other plots.
    unsigned clusteringsShared = 0;

    std::vector<std::pair<float, float>>* markerRanges = nullptr;
    std::vector<std::pair<float, float>>* markerLimits = nullptr;
    // The ranges of the marker values as last taken from the analysis.
    std::vector<std::pair<float, float>> dataRanges;
    std::vector<std::string> markers;
    std::vector<int>* selectedIdxs = nullptr;
};
