// Shader programs, buffers, textures and framebuffers of the point renderer.
// Every function here needs the renderer's OpenGL context current; objects
// whose id is 0 do not exist, and release functions make no call for them.
#include <epoxy/gl.h>

#include "render/MCV_ColormapTable.h"
#include "render/MCV_GLSLProgram.h"
#include "render/MCV_PointRenderer.h"

#include "data/MCV_CytometryData.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <numeric>
#include <random>

namespace {

// Specifies a buffer's whole storage (generated when it does not exist yet).
void specifyBuffer(unsigned& id, GLenum target, size_t bytes, const void* data, GLenum usage) {
    if (id == 0) glGenBuffers(1, &id);
    glBindBuffer(target, id);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, usage);
}

// Writes `bytes` from the start of an existing array buffer.
void updateBuffer(unsigned id, size_t bytes, const void* data) {
    if (id == 0 || bytes == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, id);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), data);
}

void setSampling(GLenum target, GLint filter, bool clampToEdge) {
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
    if (clampToEdge) {
        glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        if (target != GL_TEXTURE_1D) glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
}

void specifyTexture1D(unsigned& id, GLint internalFormat, int width, GLenum format, GLenum type, const void* data,
                      GLint filter) {
    if (id == 0) glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_1D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage1D(GL_TEXTURE_1D, 0, internalFormat, width, 0, format, type, data);
    setSampling(GL_TEXTURE_1D, filter, true);
}

void specifyTexture2D(unsigned& id, GLint internalFormat, int width, int height, GLenum format, GLenum type,
                      const void* data, GLint filter, bool clampToEdge) {
    if (id == 0) glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
    setSampling(GL_TEXTURE_2D, filter, clampToEdge);
}

void deleteBuffer(unsigned& id) {
    if (id != 0) glDeleteBuffers(1, &id);
    id = 0;
}

void deleteTexture(unsigned& id) {
    if (id != 0) glDeleteTextures(1, &id);
    id = 0;
}

void deleteFramebuffer(unsigned& id) {
    if (id != 0) glDeleteFramebuffers(1, &id);
    id = 0;
}

void releaseProgram(MCV_GLSLProgram*& program) {
    if (!program) return;
    program->releaseProgram();
    delete program;
    program = nullptr;
}

// Draw orders of all renderers come from this one generator, never seeded,
// so each new set of buffers shows the points in a new random order.
std::mt19937& drawOrderRandom() {
    static std::mt19937 generator;
    return generator;
}

}  // namespace

// ---- Programs ----

bool MCV_PointRenderer::loadShaderPrograms() {
    struct Source {
        MCV_GLSLProgram** program;
        const char* vertex;
        const char* geometry;
        const char* fragment;
        const char* name;
    };
    const Source sources[] = {
        {&glslProgramSimplePointsMarkers, "glslProgramSimplePoints_vertex", "glslProgramSimplePoints_geometry",
         "glslProgramSimplePointsMarkers_fragment", "glslProgramSimplePointsMarkers"},
        {&glslProgramSingleColor, "glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment",
         "glslProgramSingleColor"},
        {&glslProgramSimplePoints, "glslProgramBasicGL_vertex", "glslProgramBasicGL_geometry",
         "glslProgramSimplePoints_fragment", "glslProgramSimplePoints"},
        {&glslProgramSimplePointsDensity, "glslProgramBasicGL_vertex", "", "glslProgramSimplePointsDensity_fragment",
         "glslProgramSimplePointsDensity"},
        {&glslProgramSimplePointsDensityOffscreen, "glslProgramSimplePointsDensityOffscreen_vertex",
         "glslProgramSimplePointsDensityOffscreen_geometry", "glslProgramSimplePointsDensityOffscreen_fragment",
         "glslProgramSimplePointsDensityOffscreen"},
        {&glslProgramGradientOffscreen, "glslProgramBasicGL_vertex", "", "glslProgramGradientOffscreen_fragment",
         "glslProgramGradientOffscreen"},
        {&glslProgramMeanShiftOffscreen, "glslProgramBasicGL_vertex", "", "glslProgramMeanShiftOffscreen_fragment",
         "glslProgramMeanShiftOffscreen"},
        {&glslProgramSplatPointsOffscreen, "glslProgramSplatPointOffscreen_vertex",
         "glslProgramSplatPointOffscreen_geometry", "glslProgramSplatPointOffscreen_fragment",
         "glslProgramSplatPointsOffscreen"},
        {&glslProgramFocusAndContextBackground, "glslProgramBasicGL_vertex", "",
         "glslProgramFocusAndContextBackground_fragment", "glslProgramFocusAndContextBackground"},
    };
    bool all = true;
    for (const Source& s : sources) {
        *s.program = new MCV_GLSLProgram();
        (*s.program)->createFromFiles(s.vertex, s.geometry, s.fragment, s.name);
        all = all && (*s.program)->isCreated();
    }
    shadersLoaded = all;
    if (!shadersLoaded) {
        std::cout << "Could not load shader programs for Point Renderer.";
        releaseShaderPrograms();
    }
    return shadersLoaded;
}

void MCV_PointRenderer::compileShaderPrograms() {
    for (MCV_GLSLProgram* p :
         {glslProgramSimplePointsMarkers, glslProgramSingleColor, glslProgramSimplePoints,
          glslProgramSimplePointsDensity, glslProgramSimplePointsDensityOffscreen, glslProgramGradientOffscreen,
          glslProgramMeanShiftOffscreen, glslProgramSplatPointsOffscreen, glslProgramFocusAndContextBackground})
        if (p) p->compileAndLink();
}

void MCV_PointRenderer::releaseShaderPrograms() {
    releaseProgram(glslProgramSingleColor);
    releaseProgram(glslProgramSimplePoints);
    releaseProgram(glslProgramSimplePointsMarkers);
    releaseProgram(glslProgramSimplePointsDensity);
    releaseProgram(glslProgramSimplePointsDensityOffscreen);
    releaseProgram(glslProgramGradientOffscreen);
    releaseProgram(glslProgramMeanShiftOffscreen);
    releaseProgram(glslProgramSplatPointsOffscreen);
    releaseProgram(glslProgramFocusAndContextBackground);
    shadersLoaded = false;
}

// ---- Creation ----

void MCV_PointRenderer::createBuffers() {
    createVertexBuffers();
    createOffscreenBuffers();
    createColormapTextureBuffer();
    createGaussTextureBuffer();
    createSampleSelectionTextureBuffer();
    createSampleColorTextureBuffer();
}

void MCV_PointRenderer::createVertexBuffers() {
    const size_t n = static_cast<size_t>(numPoints);
    if (vertexArray == 0) glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);

    specifyBuffer(positionBuffer, GL_ARRAY_BUFFER, n * 8, nullptr, GL_DYNAMIC_DRAW);
    positionUploadDue = true;  // the new buffer holds nothing yet

    drawOrder.resize(n);
    std::iota(drawOrder.begin(), drawOrder.end(), 0u);
    for (size_t i = 0; n >= 2 && i + 1 < n; ++i) {
        std::uniform_int_distribution<size_t> pick(0, n - 1 - i);
        const size_t d = pick(drawOrderRandom());
        if (d != 0) std::swap(drawOrder[i], drawOrder[i + d]);
    }
    specifyBuffer(drawOrderBuffer, GL_ELEMENT_ARRAY_BUFFER, n * 4, drawOrder.data(), GL_STATIC_DRAW);

    // The unit square as a triangle strip; the rubber band's outline (first
    // five) and fill (all six as two triangles), both counter-clockwise.
    const float quad[8] = {0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f};
    const float rect[12] = {0.001f, 0.001f, 1.0f, 0.001f, 1.0f, 1.0f, 0.001f, 1.0f, 0.001f, 0.0f, 1.0f, 1.0f};
    specifyBuffer(quadBuffer, GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
    specifyBuffer(clusterPositionBuffer, GL_ARRAY_BUFFER, n * 8, nullptr, GL_DYNAMIC_DRAW);
    specifyBuffer(selectionRectBuffer, GL_ARRAY_BUFFER, sizeof(rect), rect, GL_STATIC_DRAW);

    const bool withMarker = activeMarker >= 0;
    if (withMarker) extractMarkerColumn("Problem: localMarkers.size() = ");
    specifyBuffer(markerBuffer, GL_ARRAY_BUFFER, n * 4, withMarker ? markerColumn.data() : nullptr, GL_STATIC_DRAW);

    // Vectors shorter than the point count are not read.
    localSelection.resize(n, 0);
    specifyBuffer(selectionBuffer, GL_ARRAY_BUFFER, n * 2, localSelection.data(), GL_DYNAMIC_DRAW);
    specifyBuffer(scaleBuffer, GL_ARRAY_BUFFER, n * 16, pointScales.size() >= 4 * n ? pointScales.data() : nullptr,
                  GL_DYNAMIC_DRAW);
    specifyBuffer(sampleIdBuffer, GL_ARRAY_BUFFER, n * 4, fileIdxs.size() >= n ? fileIdxs.data() : nullptr,
                  GL_STATIC_DRAW);
    specifyBuffer(imageColorBuffer, GL_ARRAY_BUFFER, n * 12, imageColors.size() >= 3 * n ? imageColors.data() : nullptr,
                  GL_STATIC_DRAW);

    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    bufferPoints = numPoints;
}

void MCV_PointRenderer::extractMarkerColumn(const char* problem) {
    const size_t n = static_cast<size_t>(numPoints);
    const size_t m = static_cast<size_t>(numMarkers);
    markerColumn.assign(n, 0.0f);
    if (localMarkers.size() != n * m)
        std::cout << problem << localMarkers.size() << " but should be " << n << "x" << m << " = " << n * m
                  << std::endl;
    // A marker beyond the columns colours every point as 0.
    if (activeMarker < 0 || activeMarker >= numMarkers) return;
    for (size_t p = 0; p < n; ++p) {
        const size_t at = p * m + static_cast<size_t>(activeMarker);
        if (at < localMarkers.size()) markerColumn[p] = localMarkers[at];
    }
}

void MCV_PointRenderer::createOffscreenBuffers() {
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    if (viewSide > static_cast<unsigned>(maxTexture)) {
        std::cout << "Current view size is not supported.\n";
        return;
    }
    const int s = static_cast<int>(msGrid);

    if (offscreenFramebuffer == 0) glGenFramebuffers(1, &offscreenFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, offscreenFramebuffer);
    unsigned* fields[4] = {&pdfTexture, &gradientTexture, &meanShiftTexture, &splatTexture};
    // Three float channels are not colour-renderable everywhere; four are.
    // Either way the passes read back three channels.
    for (GLint format : {GL_RGB32F, GL_RGBA32F}) {
        for (int i = 0; i < 4; ++i) {
            specifyTexture2D(*fields[i], format, s, s, format == GL_RGB32F ? GL_RGB : GL_RGBA, GL_FLOAT, nullptr,
                             GL_LINEAR, true);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, *fields[i], 0);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) break;
        if (format == GL_RGBA32F) std::cout << "The density framebuffer is not complete.\n";
    }
    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);

    const size_t cells = static_cast<size_t>(s) * static_cast<size_t>(s);
    specifyTexture2D(clusterIdTexture, GL_R32I, s, s, GL_RED_INTEGER, GL_INT,
                     clusterIdGrid.size() == cells ? clusterIdGrid.data() : nullptr, GL_NEAREST, true);
    specifyTexture2D(fcBackgroundTexture, GL_RGB32F, s, s, GL_RGB, GL_FLOAT, nullptr, GL_NEAREST, true);
    clusterBuffersDirty = true;

    // The print framebuffer (tens of megabytes) is made by the first print.
    glBindTexture(GL_TEXTURE_2D, 0);
}

bool MCV_PointRenderer::ensurePrintFramebuffer() {
    if (printFramebuffer != 0) return true;
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    if (printSize > static_cast<unsigned>(maxTexture)) {
        std::cout << "High-res screenshots are not supported.\n";
        return false;
    }
    const int p = static_cast<int>(printSize);
    glGenFramebuffers(1, &printFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, printFramebuffer);
    for (GLint format : {GL_RGB8, GL_RGBA8}) {
        specifyTexture2D(printTexture, format, p, p, format == GL_RGB8 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE, nullptr,
                         GL_LINEAR, true);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, printTexture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) break;
    }
    // Frames go to the caller's framebuffer unless a pass says otherwise.
    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
    glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}

void MCV_PointRenderer::createColormapTextureBuffer() {
    const MCV_ColormapTable::Image& map1D =
        MCV_ColormapTable::image(renderMode != RENDER_POINTS ? densityColormapIdx : colormapIdx, 1);
    specifyTexture1D(colormapTexture, GL_RGB8, static_cast<int>(map1D.rgb.size() / 3), GL_RGB, GL_UNSIGNED_BYTE,
                     map1D.rgb.empty() ? nullptr : map1D.rgb.data(), GL_LINEAR);
    glBindTexture(GL_TEXTURE_1D, 0);

    // Each map at its own size: the table holds rows of the image's width.
    const MCV_ColormapTable::Image& map2D = MCV_ColormapTable::image(colormap2DIdx, 2);
    const bool complete = !map2D.rgb.empty();
    specifyTexture2D(colormap2DTexture, GL_RGB8, map2D.width, map2D.height, GL_RGB, GL_UNSIGNED_BYTE,
                     complete ? map2D.rgb.data() : nullptr, GL_LINEAR, true);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void MCV_PointRenderer::createGaussTextureBuffer() {
    // A normalised Gaussian (sigma = 32 / 6 texels) scaled by 1000.
    std::vector<float> kernel(32 * 32);
    for (int i = -16; i < 16; ++i)
        for (int j = -16; j < 16; ++j)
            kernel[static_cast<size_t>((i + 16) * 32 + (j + 16))] =
                static_cast<float>(1000.0 * std::exp(-(i * i + j * j) / 56.888888888888886) / 178.7217153991111);
    if (gaussTexture == 0) glGenTextures(1, &gaussTexture);
    glBindTexture(GL_TEXTURE_2D, gaussTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 32, 32, 0, GL_RED, GL_FLOAT, kernel.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void MCV_PointRenderer::createSampleSelectionTextureBuffer() {
    // At least one texel (a texture without any is incomplete); the padding
    // shows its sample.
    std::vector<int> flags(activeSamples);
    if (flags.empty()) flags.push_back(1);
    specifyTexture1D(activeSampleTexture, GL_R32I, static_cast<int>(flags.size()), GL_RED_INTEGER, GL_INT, flags.data(),
                     GL_NEAREST);
    glBindTexture(GL_TEXTURE_1D, 0);
}

void MCV_PointRenderer::createSampleColorTextureBuffer() {
    const size_t files = static_cast<size_t>(std::max(0, MCV_CytometryData::Instance()->numFiles()));
    // Black until the sample panel sends its colours.
    if (sampleColors.size() < 3 * files) sampleColors.resize(3 * files, 0);
    std::vector<unsigned char> texels(sampleColors.begin(), sampleColors.begin() + (sampleColors.size() / 3) * 3);
    if (texels.empty()) texels.assign(3, 0);
    specifyTexture1D(sampleColorTexture, GL_RGB8, static_cast<int>(texels.size() / 3), GL_RGB, GL_UNSIGNED_BYTE,
                     texels.data(), GL_NEAREST);
    glBindTexture(GL_TEXTURE_1D, 0);
}

// ---- Refresh ----

void MCV_PointRenderer::refreshBuffers() {
    refreshVertexBuffers();
    refreshDataBuffers();
}

void MCV_PointRenderer::refreshVertexBuffers() {
    normalizePositions();
    syncPositions();
}

void MCV_PointRenderer::syncPositions() {
    takePendingPositions();
    if (!positionUploadDue || vertexArray == 0) return;
    positionUploadDue = false;
    const size_t count = std::min(static_cast<size_t>(numPoints), static_cast<size_t>(bufferPoints));
    updateBuffer(positionBuffer, count * 8, normalizedPositions.data());
}

void MCV_PointRenderer::normalizePositions() {
    const size_t n = static_cast<size_t>(numPoints);
    localPositions.resize(2 * n, 0.0f);
    normalizedPositions.resize(2 * n);

    // One scale for both axes keeps the aspect; a range that includes
    // negative values is made symmetric about 0.
    float lo = 0.0f, hi = 0.0f;
    for (float v : localPositions) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (lo < 0.0f) {
        const float m = std::max(hi, -lo);
        lo = -m;
        hi = m;
    }
    const float span = hi - lo;
    for (size_t i = 0; i < 2 * n; ++i) {
        // All coordinates 0: the embedding is one spot, drawn in the centre.
        const float q = span > 0.0f ? (localPositions[i] - lo) / span : 0.5f;
        normalizedPositions[i] = static_cast<float>(static_cast<double>(q) * 0.8 + 0.1);
    }
    positionUploadDue = true;
}

void MCV_PointRenderer::refreshDataBuffers() {
    refreshMarkerBuffer();
    refreshSelectionBuffer(false);
    refreshScaleBuffer();
    refreshSampleIdBuffer();
    refreshSampleSelectionTextureBuffer();
    refreshSampleColorTextureBuffer();
    refreshVertexRGBColorBuffer();
}

void MCV_PointRenderer::refreshClusterBuffers() {
    if (clusterPositionBuffer != 0) {
        // Sized to the clusters: a grid kept from earlier data may hold more
        // clusters than the current point count.
        glBindBuffer(GL_ARRAY_BUFFER, clusterPositionBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(clusterCenters.size() * sizeof(float)),
                     clusterCenters.empty() ? nullptr : clusterCenters.data(), GL_DYNAMIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    const size_t side = clusterGridSide;
    if (clusterIdTexture != 0 && clusterIdGrid.size() == side * side) {
        specifyTexture2D(clusterIdTexture, GL_R32I, static_cast<int>(side), static_cast<int>(side), GL_RED_INTEGER,
                         GL_INT, clusterIdGrid.data(), GL_NEAREST, true);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    clusterBuffersDirty = false;
}

void MCV_PointRenderer::refreshMarkerBuffer() {
    if (vertexArray == 0 || markerBuffer == 0 || activeMarker < 0) return;
    extractMarkerColumn("Problem: localMarkers size = ");
    const size_t count = std::min(markerColumn.size(), static_cast<size_t>(bufferPoints));
    updateBuffer(markerBuffer, count * 4, markerColumn.data());
}

void MCV_PointRenderer::refreshSelectionBuffer(bool fromIndices) {
    if (vertexArray == 0 || selectionBuffer == 0) return;
    const size_t n = static_cast<size_t>(numPoints);
    const size_t count = std::min(n, static_cast<size_t>(bufferPoints));
    if (!fromIndices) {
        localSelection.resize(n, 0);
        updateBuffer(selectionBuffer, count * 2, localSelection.data());
        return;
    }
    std::vector<short> shown(n, 0);
    for (int idx : selectionIdxs) {
        if (idx < 0) continue;  // never a point
        if (static_cast<size_t>(idx) >= n) {
            std::cout << "Problem creating selection buffer index " << idx << " too large for buffer of size " << n
                      << std::endl;
            continue;
        }
        shown[static_cast<size_t>(idx)] = 255;
    }
    updateBuffer(selectionBuffer, count * 2, shown.data());
}

void MCV_PointRenderer::refreshScaleBuffer() {
    if (vertexArray == 0 || pointScales.empty()) return;
    const size_t count = std::min(pointScales.size() / 4, static_cast<size_t>(bufferPoints));
    updateBuffer(scaleBuffer, count * 16, pointScales.data());
}

void MCV_PointRenderer::refreshSampleIdBuffer() {
    if (vertexArray == 0) return;
    const size_t count = std::min(fileIdxs.size(), static_cast<size_t>(bufferPoints));
    updateBuffer(sampleIdBuffer, count * 4, fileIdxs.data());
}

void MCV_PointRenderer::refreshSampleSelectionTextureBuffer() {
    if (activeSampleTexture == 0) return;
    createSampleSelectionTextureBuffer();
}

void MCV_PointRenderer::refreshSampleColorTextureBuffer() {
    if (sampleColorTexture == 0) return;
    std::vector<unsigned char> texels(sampleColors.begin(), sampleColors.begin() + (sampleColors.size() / 3) * 3);
    if (texels.empty()) texels.assign(3, 0);
    specifyTexture1D(sampleColorTexture, GL_RGB8, static_cast<int>(texels.size() / 3), GL_RGB, GL_UNSIGNED_BYTE,
                     texels.data(), GL_NEAREST);
    glBindTexture(GL_TEXTURE_1D, 0);
}

void MCV_PointRenderer::refreshVertexRGBColorBuffer() {
    if (vertexArray == 0) return;
    const size_t count = std::min(imageColors.size() / 3, static_cast<size_t>(bufferPoints));
    updateBuffer(imageColorBuffer, count * 12, imageColors.data());
}

void MCV_PointRenderer::refreshColormapTextureBuffer() {
    if (colormapTexture == 0 && colormap2DTexture == 0) return;
    createColormapTextureBuffer();
}

// ---- Release ----

void MCV_PointRenderer::releaseVertexBuffers() {
    if (vertexArray == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    for (unsigned* id : {&positionBuffer, &drawOrderBuffer, &quadBuffer, &clusterPositionBuffer, &selectionRectBuffer,
                         &markerBuffer, &selectionBuffer, &scaleBuffer, &sampleIdBuffer, &imageColorBuffer})
        deleteBuffer(*id);
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &vertexArray);
    vertexArray = 0;
    bufferPoints = 0;
}

void MCV_PointRenderer::releaseOffscreenBuffers() {
    for (unsigned* id :
         {&pdfTexture, &gradientTexture, &meanShiftTexture, &clusterIdTexture, &splatTexture, &fcBackgroundTexture})
        deleteTexture(*id);
    deleteFramebuffer(offscreenFramebuffer);
    deleteTexture(printTexture);
    deleteFramebuffer(printFramebuffer);
}

void MCV_PointRenderer::releaseColormapTextureBuffer() {
    deleteTexture(colormapTexture);
    deleteTexture(colormap2DTexture);
}

void MCV_PointRenderer::releaseGaussTextureBuffer() { deleteTexture(gaussTexture); }

void MCV_PointRenderer::releaseSampleSelectionTextureBuffer() { deleteTexture(activeSampleTexture); }

void MCV_PointRenderer::releaseSampleColorTextureBuffer() { deleteTexture(sampleColorTexture); }

void MCV_PointRenderer::releaseBuffers() {
    releaseVertexBuffers();
    releaseOffscreenBuffers();
    releaseColormapTextureBuffer();
    releaseGaussTextureBuffer();
    releaseSampleSelectionTextureBuffer();
    releaseSampleColorTextureBuffer();
}

void MCV_PointRenderer::rebuildBuffers() { rebuildVertexBuffers(); }

void MCV_PointRenderer::rebuildVertexBuffers() {
    releaseVertexBuffers();
    createVertexBuffers();
}

void MCV_PointRenderer::rebuildOffscreenBuffers() {
    releaseOffscreenBuffers();
    createOffscreenBuffers();
}

// ---- Attributes ----

void MCV_PointRenderer::resetAttributes() {
    static GLint count = 0;
    if (count == 0) glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &count);
    for (GLint i = 0; i < count; ++i) glDisableVertexAttribArray(static_cast<GLuint>(i));
}

void MCV_PointRenderer::bindFloatAttribute(MCV_GLSLProgram* program, const char* name, unsigned buffer,
                                           int components) {
    const int location = program->getAttributeLocation(name);
    if (location < 0 || buffer == 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, 0, nullptr);
}

void MCV_PointRenderer::bindIntAttribute(MCV_GLSLProgram* program, const char* name, unsigned buffer, unsigned type) {
    const int location = program->getAttributeLocation(name);
    if (location < 0) return;
    if (buffer == 0) {
        // No per-point values: every point reads 0.
        glDisableVertexAttribArray(static_cast<GLuint>(location));
        glVertexAttribI4i(static_cast<GLuint>(location), 0, 0, 0, 0);
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribIPointer(static_cast<GLuint>(location), 1, type, 0, nullptr);
}
