#pragma once

#include "ui/plot/UI_EmbeddingView.h"

class MCV_TsneAnalysis;

// The dock of one A-tSNE analysis: the embedding view (see UI_EmbeddingView)
// whose plotted points are the analysis' events themselves.
class UI_TsneWidget : public UI_EmbeddingView {
    Q_OBJECT
public:
    // Without an analysis the view has no plot and must not be connected.
    UI_TsneWidget(QWidget* parent, MCV_TsneAnalysis* analysis);
    ~UI_TsneWidget() override;

protected:
    const std::vector<std::pair<int, int>>* pointReferences() const override;

private:
    MCV_TsneAnalysis* analysis;
};
