// What the renderer takes from the HSNE analyses: a level (type 2) and a
// focus-and-context embedding (type 3). A level is taken like a t-SNE
// embedding plus its point scales; the focus-and-context analysis is not part
// of the program yet, so such an analysis is remembered but shows no points and
// has no point scales. Everything that uses the scales (size weights, weighted
// density, the level background) reads pointScales, pointScale,
// greedyPointScale, scaleLevels and scaleActive.
//
// To connect focus and context: in setHsneLocalData call the second
// setLocalData with its vectors; in computeHsnePointScales
// pointScaleForSampleSelection(sampleSelection, pointScales, result),
// scaleLevels = int(result[0]), pointScale = result[1], greedyPointScale =
// result[2], scaleActive = true.
#include "render/MCV_PointRenderer.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"

namespace {

// Only the real class has the vectors read here; the type code alone does not
// make a level.
MCV_HsneAnalysis* levelOf(MCV_Analysis* analysis) {
    return analysis && analysis->type() == ANALYSIS_HSNE ? dynamic_cast<MCV_HsneAnalysis*>(analysis) : nullptr;
}

}  // namespace

bool MCV_PointRenderer::setHsneLocalData(MCV_Analysis* source, int markers) {
    MCV_HsneAnalysis* level = levelOf(source);
    if (!level) return false;
    setLocalData(level->output(), level->markers(), level->numDataPoints(), markers, level->outputFileIdxs(), true);
    return true;
}

void MCV_PointRenderer::computeHsnePointScales() {
    MCV_HsneAnalysis* level = levelOf(analysis);
    if (!level) return;
    pointScale = level->pointScaleForSampleSelection(sampleSelection, pointScales);
    scaleActive = true;
}

bool MCV_PointRenderer::hsneLevelIsDataScale() const {
    const MCV_HsneAnalysis* level = levelOf(analysis);
    return level && level->scale() == 0;
}

void MCV_PointRenderer::computePointScales() {
    const int type = analysis ? analysis->type() : ANALYSIS_NONE;
    if (type != ANALYSIS_HSNE && type != ANALYSIS_HSNE_FC) return;
    computeHsnePointScales();
    // Scales that do not cover every point are not used.
    if (pointScales.size() < 4 * static_cast<size_t>(numPoints)) scaleActive = false;
    if (scaleActive) refreshScaleBuffer();
}
