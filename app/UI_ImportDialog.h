#pragma once

#include <QDialog>

#include <vector>

class QCheckBox;
class QSpinBox;
class UI_ExpanderWidget;
class UI_MarkerSelectionWidget;

// The question after files have loaded: whether to add the sample tag as a
// variable, whether to apply the arcsine transform (cofactor and markers) and
// which analysis to start. The dialog only collects the choices; the window
// applies them. Its result is a Choice; closing it (Escape) counts as OK, as
// the files are already loaded. The marker list is the current data set's,
// with the default marker states.
class UI_ImportDialog : public QDialog {
    Q_OBJECT
public:
    // The result codes; button "importButton<code>" ends the dialog with it.
    enum Choice { Ok = 0, StartSpade = 1, StartTsne = 2, StartHsne = 3 };

    explicit UI_ImportDialog(QWidget* parent);

    bool sampleTagChosen() const;
    bool arcSinChosen() const;
    int cofactor() const;
    // The markers the transform applies to.
    std::vector<bool> arcSinMarkers() const;

private:
    // The marker section opens with the transform and the dialog fits it.
    void showMarkers(bool shown);

    QCheckBox* m_sampleTagCheckBox = nullptr;
    QCheckBox* m_asinhCheckBox = nullptr;
    QSpinBox* m_cofactorSpinBox = nullptr;
    UI_ExpanderWidget* m_markerExpander = nullptr;
    UI_MarkerSelectionWidget* m_importMarkers = nullptr;
};
