#pragma once

#include <QWidget>

#include <string>
#include <vector>

class MCV_Analysis;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class UI_StatusLine;

// The marker check list: one check box per marker name of the combined
// header, filled column by column in a grid of `columns` columns, an optional
// "Sample" box (the sample-colour pseudo-marker -1) and the buttons "Inverse
// Markers", "Load Selection" and "Set Default".
//
// The panel owns the selection (one flag per marker index). Each rebuild with
// markers makes it exactly one flag per marker: flags that came from another
// data set (the stored defaults, a loaded selection) are clipped, missing ones
// are added (on when there were none at all, else off). With none at all
// while bound to an analysis, the output variables (MCV_OutputVariables)
// and the sample tag (MCV_SampleTag) start off; stored defaults apply as
// they are. While bound to an analysis every change goes to
// MCV_Analysis::setMarkerState.
// "Load Selection" takes a default-marker file (readMarkerFlags) made for the
// loaded files (a flag for each of their markers, and the sample tag's),
// which becomes the selection and the stored default; any other file is
// refused in a warning box that says why, and changes nothing. "Set Default"
// makes the selection the stored default and writes the default-marker file
// (MCV_MarkerDefault) beside the loaded files, where the import reads it
// back. Both say what they did, or why not, in the status bar of the main
// window the panel belongs to; a panel that sits elsewhere (in a dialog, or in
// no window) says it on a status line of its own under its buttons as well,
// where the user is looking while the dialog is open. There the line's room
// (four text lines) is kept from the start, so that a message moves no
// control; a message too long for it is shortened in its middle, whole in the
// line's tool tip.
class UI_MarkerSelectionWidget : public QWidget {
    Q_OBJECT
public:
    UI_MarkerSelectionWidget(QWidget* parent, int columns);

    // Binds to `analysis` (null unbinds) and rebuilds.
    void refreshWidget(MCV_Analysis* analysis, bool showSampleBox);
    // Rebuilds from the current combined header; keeps the binding.
    void refreshWidget(bool showSampleBox);

    std::vector<bool> markerSelectionState() const;
    // -1 first when the Sample box is shown and checked, then every set flag.
    std::vector<int> selectedMarkers() const;

    // The current check boxes, in marker order, and the Sample box (or null).
    const std::vector<QCheckBox*>& checkBoxes() const;
    QCheckBox* sampleBox() const;
    // The panel's own status line (object name "markerStatus"): hidden while
    // empty, and only ever filled where no main window's status bar is in
    // view (statusBarInView); there its room stays in the layout while hidden.
    QLabel* statusLine() const;

protected:
    bool event(QEvent* event) override;

private slots:
    void checkBoxClicked(int idx);
    void inverseClicked();
    void loadClicked();
    void setDefaultClicked();

private:
    // On the status bar of the main window the panel is in, if any, and on
    // the panel's own status line unless that status bar is in view.
    void showStatus(const QString& text);
    // Whether the panel sits in a main window or in one of its docks, docked
    // or floating: there the window's status bar is in view. A dialog hides
    // it, whatever its parent.
    bool statusBarInView() const;

    struct Marker {
        std::string name;
        int index;
    };

    QGridLayout* m_layout = nullptr;
    UI_StatusLine* m_statusLine = nullptr;
    std::vector<QCheckBox*> m_checkBoxes;
    QCheckBox* m_sampleBox = nullptr;
    QPushButton* m_inverseButton = nullptr;
    QPushButton* m_loadButton = nullptr;
    QPushButton* m_setDefaultButton = nullptr;
    MCV_Analysis* m_analysis = nullptr;
    std::vector<bool> m_markerStates;
    bool m_sampleState = true;
    bool m_showSampleBox = false;
    std::vector<Marker> m_markers;
    int m_columns = 1;
};
