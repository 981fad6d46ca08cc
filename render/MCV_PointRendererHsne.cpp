// What the renderer takes from the HSNE analyses: a level (type 2) and a
// focus-and-context embedding (type 3). Those analyses are not part of the
// program yet; until they are, the three hooks below take nothing from them,
// so such an analysis is remembered but shows no points, and no point scales
// are active. Everything that uses the scales (size weights, weighted
// density, the level background) is in place and reads pointScales,
// pointScale, greedyPointScale, scaleLevels and scaleActive.
//
// To connect them:
// - setHsneLocalData: cast to the analysis class and call
//   setLocalData(output(), markers(), numDataPoints(), numMarkers,
//   outputFileIdxs(), true); return true.
// - computeHsnePointScales: level: pointScale =
//   pointScaleForSampleSelection(sampleSelection, &pointScales); focus and
//   context: pointScaleForSampleSelection(sampleSelection, pointScales,
//   result), scaleLevels = int(result[0]), pointScale = result[1],
//   greedyPointScale = result[2]; then scaleActive = true.
// - hsneLevelIsDataScale: the level analysis's scale is 0.
#include "render/MCV_PointRenderer.h"

#include "analysis/MCV_Analysis.h"

bool MCV_PointRenderer::setHsneLocalData(MCV_Analysis* /*analysis*/, int /*numMarkers*/) { return false; }

void MCV_PointRenderer::computeHsnePointScales() {}

bool MCV_PointRenderer::hsneLevelIsDataScale() const { return false; }

void MCV_PointRenderer::computePointScales() {
    const int type = analysis ? analysis->type() : ANALYSIS_NONE;
    if (type != ANALYSIS_HSNE && type != ANALYSIS_HSNE_FC) return;
    computeHsnePointScales();
    // Scales that do not cover every point are not used.
    if (pointScales.size() < 4 * static_cast<size_t>(numPoints)) scaleActive = false;
    if (scaleActive) refreshScaleBuffer();
}
