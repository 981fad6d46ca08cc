#include "UI_TsneWidget.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "ui/tsne/UI_TsneEmbeddingControl.h"

UI_TsneWidget::UI_TsneWidget(QWidget* parent, MCV_TsneAnalysis* analysisIn)
    : UI_EmbeddingView(parent, analysisIn, "finished tsne\n"), analysis(analysisIn) {
    UI_TsneEmbeddingControl::registerType();
    if (analysis) initUI();
}

UI_TsneWidget::~UI_TsneWidget() = default;

const std::vector<std::pair<int, int>>* UI_TsneWidget::pointReferences() const {
    return analysis ? analysis->pointReferences() : nullptr;
}
