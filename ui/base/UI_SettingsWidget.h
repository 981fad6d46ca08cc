#pragma once

#include <QString>
#include <QWidget>

class MCV_Analysis;
class QGridLayout;
class UI_MarkerSelectionWidget;

// Base of the analyses' settings panels, shown as tabs of the Settings dock.
// The shell calls newDataAdded() on every panel when a derived data item was
// added or an import finished, and updateMarkerSelectionWidget() when
// variables were added. The concrete panels build their controls in initUI().
class UI_SettingsWidget : public QWidget {
    Q_OBJECT
public:
    UI_SettingsWidget(QWidget* parent, MCV_Analysis* analysis);

    // Each panel refreshes its lists of derived data.
    virtual void newDataAdded();
    virtual void initUI();

    // Rebinds and rebuilds the marker panel (no Sample box) when both the
    // panel and the analysis exist.
    void updateMarkerSelectionWidget();

    MCV_Analysis* analysis() const;

signals:
    // A Compute that the analysis refuses (or another request of the panel
    // that does nothing, such as a down-sampling to no points), in one
    // sentence for the window's status bar. The console gets its own line all
    // the same.
    void computeRefused(const QString& reason);
    // A Compute that ran with a setting other than the one given (out of its
    // range), in one sentence for the window's status bar; the panel shows
    // the value used. Also a Compute that ran but could not keep a cache it
    // writes for the next run (the file and the writer's reason).
    void computeAdjusted(const QString& reason);
    // A request of the panel that went through: what it made, in one
    // sentence for the window's status bar ("All Points-downsampled: 15000
    // events"), or, when empty, only that it went through (a Compute that
    // started, a run that needed no adjustment). Either way a refusal or
    // adjustment line the panel left in the status bar does not stay.
    void requestDone(const QString& result);

protected:
    // A section body: a widget with a grid aligned to the top.
    static QGridLayout* newSectionBody();
    // A label in column 0 and `control` in column 1 of `row`; a tool tip,
    // when given, is set on both.
    static void addRow(QGridLayout* layout, int row, const QString& label, QWidget* control,
                       const QString& toolTip = QString());

    MCV_Analysis* m_analysis = nullptr;
    QGridLayout* m_settingsLayout = nullptr;
    UI_MarkerSelectionWidget* m_markerSelectionWidget = nullptr;
};
