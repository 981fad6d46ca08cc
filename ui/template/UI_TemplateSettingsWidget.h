#pragma once

#include "ui/base/UI_ClusterSettingsWidget.h"

class MCV_TemplateAnalysis;

// The parameter panel of a template classification: markers and the two
// distance limits within which an event joins its nearest template, which
// reach the analysis as they change. " Upsample " runs the classification to
// its end on the GUI thread; a refused run says why in a warning box. GUI
// thread only.
class UI_TemplateSettingsWidget : public UI_ClusterSettingsWidget {
    Q_OBJECT
public:
    UI_TemplateSettingsWidget(QWidget* parent, MCV_TemplateAnalysis* analysis);

    void initUI() override;

private slots:
    void maxSingleDifferenceChanged(double value);
    void maxTotalDifferenceChanged(double value);
    void compute();

private:
    MCV_TemplateAnalysis* classification() const;
};
