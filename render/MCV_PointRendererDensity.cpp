// The density field on the offscreen grid, its gradient, the mean-shift walks
// and the density clusters formed from their end points; the level map of
// focus-and-context embeddings.
//
// Grid: msGrid x msGrid cells over the normalised plot square, cell (i, j) at
// index j * msGrid + i (rows from the bottom up), drawn with the same matrix
// as the view onto the viewport (0, 0, msGrid, msGrid).
#include <epoxy/gl.h>

#include "render/MCV_GLSLProgram.h"
#include "render/MCV_PointRenderer.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_DerivedDataClusters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>

namespace {

// Reads three float channels of colour attachment `attachment` of the bound
// framebuffer.
std::vector<float> readGrid(int attachment, int side) {
    std::vector<float> values(static_cast<size_t>(side) * static_cast<size_t>(side) * 3, 0.0f);
    glReadBuffer(GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(attachment));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, side, side, GL_RGB, GL_FLOAT, values.data());
    return values;
}

}  // namespace

// ---- Interface ----

void MCV_PointRenderer::setMsGrid(int value) {
    if (value <= 0 || static_cast<unsigned>(value) == msGrid) return;
    densityDirty = clustersStale = true;
    msGrid = static_cast<unsigned>(value);
    rebuildOffscreenBuffers();
}

void MCV_PointRenderer::setOtfClustering(int active) {
    densityDirty = clustersStale = (active != 0);
    otfClustering = active;
}

void MCV_PointRenderer::clusterOnce() {
    const bool wasOn = otfClustering != 0;
    densityDirty = clustersStale = true;
    otfClustering = 1;
    draw(targetFramebuffer);
    otfClustering = wasOn ? 1 : 0;
}

void MCV_PointRenderer::clusterRefreshed(void* data) {
    if (!clusters || data != static_cast<MCV_DerivedData*>(clusters)) return;
    // Per cluster as formed, its index now; ids the map does not cover have
    // no cluster any more.
    const std::vector<int>& map = clusters->originalClusterIdxs();
    const size_t cells = std::min(clusterIdGrid.size(), clusterIdGridRaw.size());
    for (size_t t = 0; t < cells; ++t) {
        const int raw = clusterIdGridRaw[t];
        if (raw >= 0) clusterIdGrid[t] = static_cast<size_t>(raw) < map.size() ? map[static_cast<size_t>(raw)] : -1;
    }
    // Called without the context current: the next frame uploads the grid.
    clusterBuffersDirty = true;
    highlightClusterId = clusters->highlightId();
}

std::string MCV_PointRenderer::meanShiftClustersName() const {
    if (clustersStale || !clusters) return "";
    return clusters->name();
}

bool MCV_PointRenderer::equal(const std::vector<float>& a, const std::vector<float>& b, float eps) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) < eps)) return false;
    return true;
}

size_t MCV_PointRenderer::gridCellOf(float u, float v, unsigned side) {
    // Cell i covers [i, i + 1) / side of the plot square, as drawn on the
    // offscreen viewport and as the shaders look the grid textures up.
    auto step = [side](float t) {
        const float s = std::isfinite(t) ? std::floor(t * static_cast<float>(side)) : 0.0f;
        return static_cast<size_t>(std::clamp(s, 0.0f, static_cast<float>(side) - 1.0f));
    };
    return step(v) * side + step(u);
}

// ---- Passes ----

void MCV_PointRenderer::beginOffscreenPass(unsigned attachment, float r, float g, float b, float a) {
    const int side = static_cast<int>(msGrid);
    glBindFramebuffer(GL_FRAMEBUFFER, offscreenFramebuffer);
    glDrawBuffer(attachment);
    glViewport(0, 0, side, side);
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
}

void MCV_PointRenderer::drawQuad(MCV_GLSLProgram* p) {
    glBindVertexArray(vertexArray);
    resetAttributes();
    bindFloatAttribute(p, "position", quadBuffer, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void MCV_PointRenderer::endOffscreenPass() {
    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    glActiveTexture(GL_TEXTURE0);
}

void MCV_PointRenderer::drawDensityOffscreen() {
    MCV_GLSLProgram* p = glslProgramSimplePointsDensityOffscreen;
    if (offscreenFramebuffer == 0 || vertexArray == 0 || bufferPoints != numPoints || !MCV_GLSLProgram::usable(p))
        return;
    const int g = static_cast<int>(msGrid);

    beginOffscreenPass(GL_COLOR_ATTACHMENT0, offscreenClearColor[0], offscreenClearColor[1], offscreenClearColor[2],
                       offscreenClearColor[3]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);

    if (numPoints > 0) {
        p->bindAndEnable();
        p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
        p->setParameter1f(p->getUniformLocation("sigma"), sigma);
        p->setParameter4f(p->getUniformLocation("advancedParams"), scaleActive ? 1.0f / pointScale : -1.0f, 0.0f, 0.0f,
                          0.0f);
        p->bindTexture("gaussSampler", 0, GL_TEXTURE_2D, gaussTexture);
        p->bindTexture("activeSampleSampler", 1, GL_TEXTURE_1D, activeSampleTexture);
        glBindVertexArray(vertexArray);
        resetAttributes();
        bindFloatAttribute(p, "position", positionBuffer, 2);
        bindFloatAttribute(p, "scaleBuffer", scaleBuffer, 4);
        bindIntAttribute(p, "sampleIdBuffer", hasFileIdxs ? sampleIdBuffer : 0, GL_INT);
        glDrawArrays(GL_POINTS, 0, numPoints);
        glBindVertexArray(0);
        p->disable();
    }

    const std::vector<float> pdf = readGrid(0, g);
    maxDensity = -100000000.0f;
    for (size_t t = 0; t < pdf.size(); t += 3) maxDensity = std::max(maxDensity, pdf[t]);
    endOffscreenPass();
}

void MCV_PointRenderer::drawGradientOffscreen() {
    MCV_GLSLProgram* p = glslProgramGradientOffscreen;
    if (offscreenFramebuffer == 0 || vertexArray == 0 || !MCV_GLSLProgram::usable(p)) return;
    const int g = static_cast<int>(msGrid);
    beginOffscreenPass(GL_COLOR_ATTACHMENT1, 0.0f, 0.0f, 0.0f, 0.0f);

    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    // Without any density every gradient is zero.
    p->setParameter4f(p->getUniformLocation("renderParams"), maxDensity > 0.0f ? 1.0f / maxDensity : 0.0f, 0.001f,
                      1.0f / static_cast<float>(g), 1.0f / static_cast<float>(g));
    p->bindTexture("pdfSampler", 0, GL_TEXTURE_2D, pdfTexture);
    drawQuad(p);
    glBindVertexArray(0);
    p->disable();
    endOffscreenPass();
}

void MCV_PointRenderer::drawMeanShiftOffscreen() {
    MCV_GLSLProgram* p = glslProgramMeanShiftOffscreen;
    if (offscreenFramebuffer == 0 || vertexArray == 0 || !MCV_GLSLProgram::usable(p)) return;
    const int g = static_cast<int>(msGrid);
    beginOffscreenPass(GL_COLOR_ATTACHMENT2, 0.0f, 0.0f, 0.0f, 0.0f);

    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    p->setParameter4f(p->getUniformLocation("renderParams"), 0.25f, 0.0f, 1.0f / static_cast<float>(g),
                      1.0f / static_cast<float>(g));
    p->bindTexture("gradientSampler", 0, GL_TEXTURE_2D, gradientTexture);
    drawQuad(p);
    glBindVertexArray(0);
    p->disable();

    meanShiftEnds = readGrid(2, g);
    endOffscreenPass();
    cluster();
}

// ---- Clustering ----

void MCV_PointRenderer::cluster() {
    if (normalizedPositions.empty()) return;
    const unsigned g = msGrid;
    const size_t cells = static_cast<size_t>(g) * g;
    if (meanShiftEnds.size() < 3 * cells) return;
    clusterIdGrid.resize(cells);
    clusterIdGridRaw.resize(cells);

    // One centre per distinct end point: ends within a cell of a centre in
    // both axes share it; a cell without walker belongs to none.
    const float tau = 1.0f / static_cast<float>(g);
    std::vector<float> centres;  // x, y in creation order
    for (size_t t = 0; t < cells; ++t) {
        const float ex = meanShiftEnds[3 * t], ey = meanShiftEnds[3 * t + 1];
        if (ex < 0.00001f && ey < 0.00001f) {
            clusterIdGridRaw[t] = -1;
            continue;
        }
        int found = -1;
        for (size_t c = 0; c < centres.size() / 2; ++c) {
            if (std::fabs(ex - centres[2 * c]) < tau && std::fabs(ey - centres[2 * c + 1]) < tau) {
                found = static_cast<int>(c);
                break;
            }
        }
        if (found < 0) {
            found = static_cast<int>(centres.size() / 2);
            centres.push_back(ex);
            centres.push_back(ey);
        }
        clusterIdGridRaw[t] = found;
    }

    const int points = static_cast<int>(normalizedPositions.size() / 2);
    auto cellOf = [&](int p) {
        const size_t i = static_cast<size_t>(p);
        return gridCellOf(normalizedPositions[2 * i], normalizedPositions[2 * i + 1], g);
    };

    // Cluster ids in the order of the lowest point index in each basin;
    // centres that no point reaches get none.
    std::vector<int> remap(centres.size() / 2, -1);
    clusterCenters.clear();
    int k = 0;
    for (int p = 0; p < points; ++p) {
        const int c = clusterIdGridRaw[cellOf(p)];
        if (c >= 0 && remap[static_cast<size_t>(c)] < 0) {
            clusterCenters.push_back(centres[2 * static_cast<size_t>(c)]);
            clusterCenters.push_back(centres[2 * static_cast<size_t>(c) + 1]);
            remap[static_cast<size_t>(c)] = k++;
        }
    }
    const long cellCount = static_cast<long>(cells);
#pragma omp parallel for schedule(static)
    for (long t = 0; t < cellCount; ++t) {
        int& raw = clusterIdGridRaw[static_cast<size_t>(t)];
        if (raw >= 0) raw = remap[static_cast<size_t>(raw)];
        clusterIdGrid[static_cast<size_t>(t)] = raw;
    }
    clusterGridSide = g;

    std::vector<std::vector<unsigned>> members(static_cast<size_t>(k));
    for (int p = 0; p < points; ++p) {
        const int id = clusterIdGridRaw[cellOf(p)];
        if (id >= 0) members[static_cast<size_t>(id)].push_back(static_cast<unsigned>(p));
    }
    // Without an analysis there is nobody to keep the clusters: the grid still
    // colours the points, but nothing can be picked.
    clusters = analysis ? analysis->updateClusters(&members, "Density Clusters") : nullptr;
    refreshClusterBuffers();
    clustersStale = false;
    followedPositions.clear();
    ++clusteringCount;
}

bool MCV_PointRenderer::followClustering(const MCV_PointRenderer& source) {
    if (&source == this || !source.clusters || source.clustersStale || source.analysis != analysis) return false;
    clusters = source.clusters;
    clusterIdGrid = source.clusterIdGrid;
    clusterIdGridRaw = source.clusterIdGridRaw;
    clusterCenters = source.clusterCenters;
    clusterGridSide = source.clusterGridSide;
    meanShiftEnds = source.meanShiftEnds;
    followedPositions = source.clusteredPositions();
    highlightClusterId = clusters->highlightId();
    if (msGrid != source.msGrid) {
        msGrid = source.msGrid;
        followedGridDue = true;
    }
    sigma = source.sigma;
    // The density is drawn again at the clustering's sigma; the clusters are
    // the source's and stay current until the embedding or a setting changes.
    densityDirty = true;
    clustersStale = false;
    clusterBuffersDirty = true;
    followedWalkEndsDue = true;
    return true;
}

const std::vector<float>& MCV_PointRenderer::clusteredPositions() const {
    // An own clustering was formed at the last frame, which took the
    // positions; a followed one may be current before this renderer has
    // taken the positions it was formed on.
    return followedPositions.empty() ? localPositions : followedPositions;
}

bool MCV_PointRenderer::followedClusteringFits() const {
    const size_t n = 2 * static_cast<size_t>(numPoints);
    if (clustersStale || !positionSource || followedPositions.size() != n || positionSource->size() < n) return false;
    return std::memcmp(positionSource->data(), followedPositions.data(), n * sizeof(float)) == 0;
}

void MCV_PointRenderer::positionsChanged() {
    densityDirty = true;
    // The plot that formed the clustering may have taken and clustered these
    // positions before this one was handed them: it does not cluster them
    // again, so this one keeps what it took over.
    if (!followedClusteringFits()) clustersStale = true;
}

void MCV_PointRenderer::takeFollowedClustering() {
    if (followedGridDue) {
        followedGridDue = false;
        rebuildOffscreenBuffers();
    }
    if (!followedWalkEndsDue) return;
    followedWalkEndsDue = false;
    const size_t g = msGrid;
    if (meanShiftTexture == 0 || meanShiftEnds.size() != 3 * g * g) return;
    glBindTexture(GL_TEXTURE_2D, meanShiftTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(g), static_cast<GLsizei>(g), GL_RGB, GL_FLOAT,
                    meanShiftEnds.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

std::vector<int> MCV_PointRenderer::pointClusterIds() const {
    const size_t side = clusterGridSide;
    if (clusterIdGrid.size() != side * side || side == 0) return {};
    const size_t n = std::min(static_cast<size_t>(numPoints), normalizedPositions.size() / 2);
    std::vector<int> ids(n, -1);
    for (size_t p = 0; p < n; ++p)
        ids[p] = clusterIdGrid[gridCellOf(normalizedPositions[2 * p], normalizedPositions[2 * p + 1], clusterGridSide)];
    return ids;
}

// ---- Levels of focus-and-context embeddings ----

void MCV_PointRenderer::splatPointsOffscreen() {
    MCV_GLSLProgram* p = glslProgramSplatPointsOffscreen;
    if (offscreenFramebuffer == 0 || vertexArray == 0 || bufferPoints != numPoints || !MCV_GLSLProgram::usable(p))
        return;
    const int g = static_cast<int>(msGrid);
    beginOffscreenPass(GL_COLOR_ATTACHMENT3, static_cast<float>(g), 0.0f, 0.0f, 0.0f);

    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    p->setParameter1f(p->getUniformLocation("sigma"), 0.05f);
    glBindVertexArray(vertexArray);
    resetAttributes();
    bindFloatAttribute(p, "position", positionBuffer, 2);
    bindFloatAttribute(p, "scaleBuffer", scaleBuffer, 4);
    glDrawArrays(GL_POINTS, 0, numPoints);
    glBindVertexArray(0);
    p->disable();

    std::vector<float> levels = readGrid(3, g);
    floodFillLevels(levels, g, g, 3, 1);
    maxLevel = -100000000.0f;
    for (size_t t = 1; t < levels.size(); t += 3) maxLevel = std::max(maxLevel, levels[t]);

    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
    if (fcBackgroundTexture == 0) glGenTextures(1, &fcBackgroundTexture);
    glBindTexture(GL_TEXTURE_2D, fcBackgroundTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, g, g, 0, GL_RGB, GL_FLOAT, levels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    endOffscreenPass();
}

void MCV_PointRenderer::floodFillLevels(std::vector<float>& values, int width, int height, int channels, int channel) {
    if (width <= 0 || height <= 0 || channels <= 0 || channel < 0 || channel >= channels) return;
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (values.size() < cells * static_cast<size_t>(channels)) return;
    auto at = [&](size_t cell) -> float& { return values[cell * static_cast<size_t>(channels) + channel]; };

    // Each cell is filled once, so seeds below 0.5 cannot refill each other forever.
    std::vector<bool> filled(cells, false);
    std::queue<size_t> queue;
    for (size_t c = 0; c < cells; ++c)
        if (at(c) > 0.0f) {
            queue.push(c);
            filled[c] = true;
        }
    while (!queue.empty()) {
        const size_t c = queue.front();
        queue.pop();
        const float v = at(c);
        const int x = static_cast<int>(c % static_cast<size_t>(width));
        const int y = static_cast<int>(c / static_cast<size_t>(width));
        const int nx[4] = {x - 1, x + 1, x, x};
        const int ny[4] = {y, y, y - 1, y + 1};
        for (int i = 0; i < 4; ++i) {
            if (nx[i] < 0 || nx[i] >= width || ny[i] < 0 || ny[i] >= height) continue;
            const size_t n = static_cast<size_t>(ny[i]) * static_cast<size_t>(width) + static_cast<size_t>(nx[i]);
            if (!filled[n] && at(n) < 0.5f) {
                at(n) = v;
                filled[n] = true;
                queue.push(n);
            }
        }
    }
}
