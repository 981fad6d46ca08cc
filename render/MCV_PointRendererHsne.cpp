// What the renderer takes from the HSNE analyses: a level (type 2) and a
// focus-and-context embedding (type 3). Both are taken like a t-SNE embedding
// plus their point scales. Everything that uses the scales (size weights,
// weighted density, the level background) reads pointScales, pointScale,
// greedyPointScale, scaleLevels and scaleActive.
#include "render/MCV_PointRenderer.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"

namespace {

// Only the real classes have the vectors read here; the type code alone does
// not make a level or a focus-and-context map.
MCV_HsneAnalysis* levelOf(MCV_Analysis* analysis) {
    return analysis && analysis->type() == ANALYSIS_HSNE ? dynamic_cast<MCV_HsneAnalysis*>(analysis) : nullptr;
}

MCV_HsneFCAnalysis* focusAndContextOf(MCV_Analysis* analysis) {
    return analysis && analysis->type() == ANALYSIS_HSNE_FC ? dynamic_cast<MCV_HsneFCAnalysis*>(analysis) : nullptr;
}

}  // namespace

bool MCV_PointRenderer::setHsneLocalData(MCV_Analysis* source, int markers) {
    if (MCV_HsneAnalysis* level = levelOf(source)) {
        setLocalData(level->output(), level->markers(), level->numDataPoints(), markers, level->outputFileIdxs(), true);
        return true;
    }
    if (MCV_HsneFCAnalysis* map = focusAndContextOf(source)) {
        setLocalData(map->output(), map->markers(), map->numDataPoints(), markers, map->outputFileIdxs(), true);
        return true;
    }
    return false;
}

void MCV_PointRenderer::computeHsnePointScales() {
    if (MCV_HsneAnalysis* level = levelOf(analysis)) {
        pointScale = level->pointScaleForSampleSelection(sampleSelection, pointScales);
        scaleActive = true;
        return;
    }
    MCV_HsneFCAnalysis* map = focusAndContextOf(analysis);
    if (!map) return;
    // The span of levels among the points, then the size divisors of the
    // normal and the greedy mode.
    std::vector<float> result;
    map->pointScaleForSampleSelection(sampleSelection, pointScales, result);
    if (result.size() < 3) return;
    scaleLevels = static_cast<int>(result[0]);
    pointScale = result[1];
    greedyPointScale = result[2];
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
    // Scales that do not cover every point are not used, nor their levels.
    if (pointScales.size() < 4 * static_cast<size_t>(numPoints)) {
        scaleActive = false;
        scaleLevels = 0;
    }
    if (scaleActive) refreshScaleBuffer();
}
