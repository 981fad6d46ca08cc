// State, defaults, style and data of the point renderer.
#include <epoxy/gl.h>

#include "render/MCV_PointRenderer.h"

#include "render/MCV_ColormapTable.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

namespace {

// Copies up to `count` values of `source` into `target` (sized `count`,
// zero-padded): callers' vectors may be shorter than they claim.
template <typename T>
void copyPadded(const std::vector<T>& source, std::vector<T>& target, size_t count) {
    target.assign(count, T());
    std::copy_n(source.begin(), std::min(count, source.size()), target.begin());
}

}  // namespace

MCV_PointRenderer::MCV_PointRenderer() {
    const int files = std::max(0, MCV_CytometryData::Instance()->numFiles());
    sampleSelection.assign(static_cast<size_t>(files), true);
    activeSamples.assign(static_cast<size_t>(files), 1);
    clusterIdGrid.assign(static_cast<size_t>(msGrid) * msGrid, 0);
    clusterIdGridRaw.assign(static_cast<size_t>(msGrid) * msGrid, 0);
}

MCV_PointRenderer::~MCV_PointRenderer() {
    releaseShaderPrograms();
    // Without GL objects (never rebuilt, or cleaned up) no OpenGL call is made.
    releaseBuffers();
}

// ---- Lifecycle ----

void MCV_PointRenderer::cleanup() {
    releaseShaderPrograms();
    releaseBuffers();
}

void MCV_PointRenderer::rebuild() {
    releaseShaderPrograms();
    releaseBuffers();
    if (loadShaderPrograms()) compileShaderPrograms();
    createBuffers();
    refreshVertexBuffers();
    refreshDataBuffers();
    refreshClusterBuffers();
    glEnable(GL_PROGRAM_POINT_SIZE);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void MCV_PointRenderer::refreshData() {
    refreshVertexBuffers();
    refreshDataBuffers();
}

void MCV_PointRenderer::resize(unsigned width, unsigned height, unsigned framebuffer) {
    targetFramebuffer = framebuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    viewWidth = width;
    viewHeight = height;
    viewSide = std::min(width, height);
    viewAspect = height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
}

void MCV_PointRenderer::setupMatrix(float* m) {
    if (m) std::memcpy(mvpMatrix, m, sizeof(mvpMatrix));
}

// ---- Style ----

void MCV_PointRenderer::setColormap(int idx, int dims) {
    if (dims == 2) {
        if (idx >= 0 && idx < MCV_ColormapTable::count(2)) colormap2DIdx = idx;
    } else if (dims == 1 && idx >= 0 && idx < MCV_ColormapTable::count(1)) {
        if (renderMode == RENDER_POINTS)
            colormapIdx = idx;
        else if (renderMode == RENDER_DENSITY)
            densityColormapIdx = idx;
    }
    refreshColormapTextureBuffer();
}

void MCV_PointRenderer::setColormapDiscrete(bool on, int dims) {
    if (dims == 2) {
        colormap2DDiscrete = on ? 1 : 0;
    } else if (dims == 1) {
        if (renderMode == RENDER_POINTS)
            colormapDiscrete = on ? 1 : 0;
        else if (renderMode == RENDER_DENSITY)
            densityColormapDiscrete = on ? 1 : 0;
    }
}

int MCV_PointRenderer::activeColormap(int dims) const {
    if (dims == 2) return colormap2DIdx;
    return renderMode != RENDER_POINTS ? densityColormapIdx : colormapIdx;
}

bool MCV_PointRenderer::activeColormapDiscrete(int dims) const {
    if (dims == 2) return colormap2DDiscrete != 0;
    return (renderMode != RENDER_POINTS ? densityColormapDiscrete : colormapDiscrete) != 0;
}

void MCV_PointRenderer::setPointSize(float size) { pointSize = size; }
void MCV_PointRenderer::setPointOpacity(float opacity) { pointOpacity = opacity; }
void MCV_PointRenderer::setPointHaloSize(float size) { pointHaloSize = size; }
void MCV_PointRenderer::setGreedyPointScaleMode(bool on) { greedyPointScaleMode = on; }

void MCV_PointRenderer::setRenderMode(int mode) {
    renderMode = mode;
    if (selectionSource) {
        copySelectionSource();
        refreshSelectionBuffer(false);
    }
    refreshColormapTextureBuffer();
}

void MCV_PointRenderer::setDarkMode(bool dark) {
    const float grey = (dark ? 50.0f : 252.0f) / 255.0f;
    backgroundColor[0] = backgroundColor[1] = backgroundColor[2] = grey;
    glClearColor(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void MCV_PointRenderer::setRecording(bool on) { isRecording = on; }
void MCV_PointRenderer::setAdvancedMode(int mode) { advancedMode = mode; }
void MCV_PointRenderer::setSelectionActive(bool active) { selectionActive = active; }

void MCV_PointRenderer::setSaturation(float value) {
    saturation = value;
    densityDirty = clustersStale = true;
}

void MCV_PointRenderer::setSigma(float value) {
    sigma = value;
    densityDirty = clustersStale = true;
}

void MCV_PointRenderer::setGaussScale(float value) {
    gaussScale = value;
    densityDirty = clustersStale = true;
}

void MCV_PointRenderer::setActiveMarker(int marker) {
    activeMarker = marker;
    refreshMarkerBuffer();
}

std::vector<std::pair<float, float>>* MCV_PointRenderer::markerRanges() { return &markerRangesVec; }
std::vector<std::pair<float, float>>* MCV_PointRenderer::markerLimts() { return &markerLimitsVec; }

// ---- Data ----

void MCV_PointRenderer::setLocalData(MCV_Analysis* source, int markers) {
    analysis = source;
    if (!source) return;
    switch (source->type()) {
        case ANALYSIS_TSNE:
            // The type code alone does not make a t-SNE analysis: only the real
            // class has the vectors read here.
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(source))
                setLocalData(tsne->output(), tsne->markers(), tsne->numDataPoints(), markers, tsne->outputFileIdxs(),
                             false);
            break;
        case ANALYSIS_HSNE:
        case ANALYSIS_HSNE_FC:
            setHsneLocalData(source, markers);
            break;
        default:
            break;
    }
}

void MCV_PointRenderer::setLocalData(const std::vector<float>* positions, const std::vector<float>* markers, int points,
                                     int markerCount, const std::vector<int>* fileIdxSourceIn, bool useScales) {
    positionSource = positions;
    markerSource = markers;
    fileIdxSource = fileIdxSourceIn;
    points = std::max(0, points);
    // Indices of the old point set mean nothing for the new one.
    if (points != numPoints) selectionIdxs.clear();
    numPoints = points;
    numMarkers = std::max(0, markerCount);

    const size_t n = static_cast<size_t>(numPoints);
    localPositions.assign(2 * n, 0.0f);
    localMarkers.assign(n * static_cast<size_t>(numMarkers), 0.0f);
    hasFileIdxs = fileIdxSourceIn != nullptr;
    if (hasFileIdxs)
        fileIdxs.assign(n, 0);
    else
        fileIdxs.clear();
    localSelection.assign(n, 0);
    // A clustering followed on other points describes none of these.
    followedPositions.clear();
    // The point scales are computed by copyLocalData for the analyses that have them.
    (void)useScales;

    rebuildVertexBuffers();
    copyLocalData();
}

void MCV_PointRenderer::copyLocalData() {
    const size_t n = static_cast<size_t>(numPoints);
    positionsPending = false;
    if (positionSource) {
        positionsChanged();
        copyPadded(*positionSource, localPositions, 2 * n);
        refreshVertexBuffers();
    } else {
        densityDirty = clustersStale = true;
    }

    if (markerSource) takeMarkers();

    computePointScales();

    if (hasFileIdxs && fileIdxSource) copyPadded(*fileIdxSource, fileIdxs, n);

    if (!shadersLoaded || vertexArray == 0) {
        rebuild();
    } else {
        refreshDataBuffers();
    }
}

void MCV_PointRenderer::setMarkerCount(int markers) {
    numMarkers = std::max(0, markers);
    if (markerSource) {
        takeMarkers();
    } else {
        localMarkers.assign(static_cast<size_t>(numPoints) * static_cast<size_t>(numMarkers), 0.0f);
        computeMarkerRanges();
        computeImageColors();
    }
    refreshMarkerBuffer();
    refreshVertexRGBColorBuffer();
}

void MCV_PointRenderer::takeMarkers() {
    const size_t expected = static_cast<size_t>(numPoints) * static_cast<size_t>(numMarkers);
    if (markerSource->size() < expected)
        std::cout << "Problem: localMarkers.size() = " << markerSource->size() << " but should be " << numPoints << "x"
                  << numMarkers << " = " << expected << std::endl;
    copyPadded(*markerSource, localMarkers, expected);
    computeMarkerRanges();
    computeImageColors();
}

void MCV_PointRenderer::copyLocalVertexData() {
    positionsPending = positionSource != nullptr;
    positionsChanged();
}

void MCV_PointRenderer::takePendingPositions() {
    if (!positionsPending) return;
    positionsPending = false;
    if (!positionSource) return;
    copyPadded(*positionSource, localPositions, 2 * static_cast<size_t>(numPoints));
    normalizePositions();
}

void MCV_PointRenderer::computeMarkerRanges() {
    const size_t n = static_cast<size_t>(numPoints);
    const size_t m = static_cast<size_t>(numMarkers);
    markerRangesVec.assign(m, {10000000.0f, -10000000.0f});
    markerLimitsVec.assign(m, {0.0f, 5.0f});
    for (size_t c = 0; c < m; ++c) {
        // From the first value that is a number: channels such as time may
        // lie entirely above any fixed starting bound.
        bool started = false;
        float lo = 0.0f, hi = 0.0f;
        for (size_t p = 0; p < n; ++p) {
            const float v = localMarkers[p * m + c];
            if (std::isnan(v)) continue;
            if (!started) {
                lo = hi = v;
                started = true;
            } else {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        if (started) markerRangesVec[c] = {lo, hi};
        markerLimitsVec[c] = {std::min(markerRangesVec[c].first, 0.0f), std::max(markerRangesVec[c].second, 5.0f)};
    }
}

void MCV_PointRenderer::computeImageColors() {
    const size_t n = static_cast<size_t>(numPoints);
    imageColors.assign(3 * n, 0.0f);
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    if (!header) return;
    const int columns[3] = {header->variableIdx("Red"), header->variableIdx("Green"), header->variableIdx("Blue")};
    for (int c : columns)
        if (c < 0 || c >= numMarkers) return;
    const size_t m = static_cast<size_t>(numMarkers);
    for (size_t p = 0; p < n; ++p)
        for (size_t k = 0; k < 3; ++k) imageColors[3 * p + k] = localMarkers[p * m + static_cast<size_t>(columns[k])];
}

void MCV_PointRenderer::copySelectionSource() {
    // One value per point whatever the caller's length.
    if (selectionSource) copyPadded(*selectionSource, localSelection, static_cast<size_t>(numPoints));
}

int MCV_PointRenderer::numSampleFiles() const { return static_cast<int>(activeSamples.size()); }

void MCV_PointRenderer::setSampleSelection(std::vector<bool>* samples) {
    sampleSelectionSource = samples;
    if (!samples) return;
    sampleSelection = *samples;
    const int type = analysis ? analysis->type() : ANALYSIS_NONE;
    if (type == ANALYSIS_HSNE || type == ANALYSIS_HSNE_FC) computePointScales();
    if (type == ANALYSIS_TSNE || (type == ANALYSIS_HSNE && hsneLevelIsDataScale())) {
        // Samples that were not loaded when the renderer was made have no entry.
        for (size_t i = 0; i < activeSamples.size(); ++i)
            activeSamples[i] = i < sampleSelection.size() && sampleSelection[i] ? 1 : 0;
    }
    refreshSampleSelectionTextureBuffer();
    densityDirty = clustersStale = true;
}

void MCV_PointRenderer::setSampleColors(std::vector<unsigned char>* colors) {
    sampleColorsSource = colors;
    if (!colors) return;
    sampleColors = *colors;
    refreshSampleColorTextureBuffer();
}

void MCV_PointRenderer::setPrintParameters(std::vector<float> range, std::vector<float> background) {
    printRange = std::move(range);
    printBackground = std::move(background);
    // The clear colour needs four values.
    printBackground.resize(4, 1.0f);
}

void MCV_PointRenderer::setSerialPrintMode(bool on) {
    if (on) {
        savedActiveMarker = activeMarker;
    } else {
        activeMarker = savedActiveMarker;
        refreshMarkerBuffer();
    }
    serialPrintMode = on;
}
