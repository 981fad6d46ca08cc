#pragma once

#include "ui/base/UI_SettingsWidget.h"

#include <QString>

#include <vector>

class MCV_DerivedDataPoints;
class QComboBox;
class QPushButton;
class UI_ExpanderWidget;
class UI_SelectiveDownsamplingWidget;

// What the settings panels of the embedding analyses (A-tSNE, HSNE) share:
// the scroll area with the stacked sections "Input Data" (row 0), "Active
// Markers" (row 1), "Advanced Parameters" (collapsed, row 2), "Parameters"
// (row 3) and the compute button (row 4); the input point set with the
// down-sampling dock; the kNN back-end and metric rows; and the checks made
// before a compute. A panel builds its own rows of the two parameter
// sections and says what its compute button starts. The input set, back end
// and metric reach the analysis only when the panel computes. GUI thread only.
//
// The input list follows the data model's point sets. A point set registered
// since the panel last looked (a down-sampling, a SPADE bubble) becomes the
// input; any other new data (cluster sets, trees, images) leaves the user's
// choice, and what the panel suggests from it, alone.
class UI_EmbeddingSettingsWidget : public UI_SettingsWidget {
    Q_OBJECT
public:
    // Deletes the down-sampling dock while no window has taken it.
    ~UI_EmbeddingSettingsWidget() override;

    // Refills the input list; the newest point set registered since the last
    // look, if any, becomes the input.
    void newDataAdded() override;
    // Refills the input list from the data model's point sets. The chosen
    // name stays chosen while the list still has it (else the first entry);
    // the input counts as changed (inputChanged) only when the chosen name
    // does.
    void refreshInputCombo();

    // For the views and tests.
    QComboBox* inputCombo() const { return inputDataCombo; }
    QComboBox* metricCombo() const { return knnMetricCombo; }
    QComboBox* libraryCombo() const { return knnLibraryCombo; }
    UI_ExpanderWidget* advancedSection() const { return advancedExpander; }
    UI_SelectiveDownsamplingWidget* downsampling() const { return downsamplingWidget; }
    MCV_DerivedDataPoints* chosenInput() const { return inputData; }
    int knnLibrary() const { return selectedKnnLibrary; }
    int knnMetric() const { return selectedKnnMetric; }

signals:
    void dataDownsampled();

public slots:
    void downsamplingComplete();

protected:
    UI_EmbeddingSettingsWidget(QWidget* parent, MCV_Analysis* analysis);

    // The scroll area with the settings layout, then the input and marker
    // sections.
    void buildInputSections();
    // "knn library" and "knn metric" at rows `row` and `row + 1`.
    void addKnnRows(QGridLayout* layout, int row);
    // The two parameter sections with the given bodies, the compute button
    // (returned for the panel to connect) with `below` under it when given,
    // the row stretches, then the input list.
    QPushButton* finishSections(QWidget* advancedBody, QWidget* parameterBody, const QString& computeText,
                                QWidget* below = nullptr);

    // Called after the input set changed (not for an empty list).
    virtual void inputChanged();
    // Whether the analysis has an enabled marker; otherwise the warning box
    // "No markers selected" has been shown.
    bool markersChosen();
    // The set to hand to the analysis at compute: the chosen one while the
    // data model still has it, else "All Points" (null when there is none).
    // A set with fewer events than an embedding needs, which the analysis
    // will refuse, is reported through computeRefused; any other set through
    // requestDone (the Compute goes through).
    MCV_DerivedDataPoints* inputForCompute();

    QComboBox* inputDataCombo = nullptr;
    QPushButton* computeButton = nullptr;
    QComboBox* knnMetricCombo = nullptr;
    QComboBox* knnLibraryCombo = nullptr;
    UI_SelectiveDownsamplingWidget* downsamplingWidget = nullptr;
    UI_ExpanderWidget* advancedExpander = nullptr;
    int selectedKnnLibrary = 1;
    int selectedKnnMetric = 0;
    MCV_DerivedDataPoints* inputData = nullptr;

private:
    // The point sets the input list was last filled from. Only compared by
    // address: the data model never drops a registered set while the panel
    // lives (an import retires the panels with their analyses).
    std::vector<const MCV_DerivedDataPoints*> m_listedSets;

private slots:
    void knnLibraryChanged(const QString& text);
    void knnMetricChanged(const QString& text);
    void inputDataChanged(int index);
    void downsampleButtonClicked();
};
