// What one frame draws: the density computation when something shown needs
// it, the points or the density landscape, and the rubber band; print images
// and video frames. Every program's uniforms are set each time it is bound.
#include <epoxy/gl.h>

#include "render/MCV_GLSLProgram.h"
#include "render/MCV_PointRenderer.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_DerivedDataClusters.h"

void MCV_PointRenderer::plotViewport() {
    glViewport(static_cast<GLint>((viewWidth - viewSide) / 2), static_cast<GLint>((viewHeight - viewSide) / 2),
               static_cast<GLsizei>(viewSide), static_cast<GLsizei>(viewSide));
}

bool MCV_PointRenderer::densityNeeded() const { return renderMode == RENDER_DENSITY || otfClustering != 0; }

void MCV_PointRenderer::draw(unsigned framebuffer) {
    syncPositions();
    targetFramebuffer = framebuffer;
    takeFollowedClustering();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glClearColor(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    if (clusterBuffersDirty) refreshClusterBuffers();

    // The density stays dirty while nothing shown needs it: a points-mode
    // frame never pays for it.
    if (densityDirty && densityNeeded()) {
        drawDensityOffscreen();
        // Clusters that are still current (followed from another plot of
        // the analysis) are not formed again.
        if (otfClustering != 0 && clustersStale) {
            drawGradientOffscreen();
            drawMeanShiftOffscreen();
        }
        densityDirty = false;
    }
    if (isRecording) {
        printVideoFrame();
        // The frame on screen keeps the view's background, not the print's.
        glClearColor(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    }

    if (renderMode == RENDER_DENSITY)
        drawDensity(false);
    else if (renderMode == RENDER_POINTS)
        drawPoints(false);
    drawSelectionUI();
}

void MCV_PointRenderer::drawPoints(bool print) {
    if (print) {
        glViewport(0, 0, static_cast<GLsizei>(printSize), static_cast<GLsizei>(printSize));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        plotViewport();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (analysis && analysis->type() == ANALYSIS_HSNE_FC) {
            drawFocusAndContextBackground();
            plotViewport();
        }
    }
    MCV_GLSLProgram* p = glslProgramSimplePointsMarkers;
    if (numPoints == 0 || vertexArray == 0 || bufferPoints != numPoints || !MCV_GLSLProgram::usable(p)) return;

    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    const int clusterCount = clusters ? clusters->numClusters() : 0;
    p->setParameter4i(p->getUniformLocation("dataParams"), clusterCount, activeMarker, numSampleFiles(),
                      highlightClusterId);

    float range[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    if (activeMarker >= 0) {
        if (serialPrintMode && printRange.size() >= 2) {
            range[0] = printRange[0];
            range[1] = printRange[1];
        } else if (static_cast<size_t>(activeMarker) < markerRangesVec.size()) {
            range[0] = markerRangesVec[static_cast<size_t>(activeMarker)].first;
            range[1] = markerRangesVec[static_cast<size_t>(activeMarker)].second;
        }
        range[2] = range[1] - range[0];
    }
    if (!scaleActive)
        range[3] = -1.0f;
    else
        range[3] = greedyPointScaleMode ? 1.0f / -greedyPointScale : 1.0f / pointScale;
    p->setParameter4fv(p->getUniformLocation("markerRange"), range);
    p->setParameter4f(p->getUniformLocation("visParams"), pointSize, pointOpacity, pointHaloSize,
                      static_cast<float>(advancedMode));
    p->setParameter4f(p->getUniformLocation("colormapParams"), colormapDiscrete ? 1.0f : -1.0f, 0.0f, 0.0f, 0.0f);

    p->bindTexture("colormapSampler", 0, GL_TEXTURE_1D, activeMarker < 0 ? sampleColorTexture : colormapTexture);
    p->bindTexture("clusterIdSampler", 1, GL_TEXTURE_2D, clusterIdTexture);
    p->bindTexture("activeSampleSampler", 2, GL_TEXTURE_1D, activeSampleTexture);
    p->bindTexture("colormap2DSampler", 3, GL_TEXTURE_2D, colormap2DTexture);

    glBindVertexArray(vertexArray);
    resetAttributes();
    bindFloatAttribute(p, "position", positionBuffer, 2);
    bindFloatAttribute(p, "markerBuffer", markerBuffer, 1);
    bindIntAttribute(p, "selectionBuffer", selectionBuffer, GL_SHORT);
    bindFloatAttribute(p, "scaleBuffer", scaleBuffer, 4);
    bindFloatAttribute(p, "imageColorBuffer", imageColorBuffer, 3);
    bindIntAttribute(p, "sampleIdBuffer", hasFileIdxs ? sampleIdBuffer : 0, GL_INT);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, drawOrderBuffer);
    glDrawElements(GL_POINTS, numPoints, GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
    p->disable();
    glActiveTexture(GL_TEXTURE0);
}

void MCV_PointRenderer::drawDensity(bool print) {
    if (print) {
        glViewport(0, 0, static_cast<GLsizei>(printSize), static_cast<GLsizei>(printSize));
    } else {
        plotViewport();
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    MCV_GLSLProgram* p = glslProgramSimplePointsDensity;
    if (numPoints == 0 || vertexArray == 0 || pdfTexture == 0 || !MCV_GLSLProgram::usable(p)) return;

    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    // Without any density (every sample hidden) nothing is drawn.
    p->setParameter4f(p->getUniformLocation("renderParams"), maxDensity > 0.0f ? 1.0f / maxDensity : 0.0f,
                      densityColormapDiscrete ? 1.0f : -1.0f, 2.0f / static_cast<float>(numPoints),
                      1.0f / static_cast<float>(viewSide > 0 ? viewSide : 1));
    p->setParameter4f(p->getUniformLocation("advancedParams"), 0.0f, 0.0f, 0.0f, static_cast<float>(advancedMode));
    p->bindTexture("colormapSampler", 0, GL_TEXTURE_1D, colormapTexture);
    p->bindTexture("pdfSampler", 1, GL_TEXTURE_2D, pdfTexture);
    p->bindTexture("msSampler", 2, GL_TEXTURE_2D, meanShiftTexture);
    drawQuad(p);
    p->disable();
    glActiveTexture(GL_TEXTURE0);

    const GLsizei centres = static_cast<GLsizei>(clusterCenters.size() / 2);
    MCV_GLSLProgram* c = glslProgramSimplePoints;
    if (!clustersStale && centres > 0 && MCV_GLSLProgram::usable(c)) {
        c->bindAndEnable();
        c->setParameter4x4fv(c->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
        c->setParameter4f(c->getUniformLocation("visParams"), 0.0075f, 0.1f, 0.1f, 0.1f);
        resetAttributes();
        bindFloatAttribute(c, "position", clusterPositionBuffer, 2);
        glDrawArrays(GL_POINTS, 0, centres);
        c->disable();
    }
    glBindVertexArray(0);
}

void MCV_PointRenderer::drawSelectionUI() {
    MCV_GLSLProgram* p = glslProgramSingleColor;
    if (!selectionActive || vertexArray == 0 || !MCV_GLSLProgram::usable(p)) return;
    glViewport(selectionRect[0], selectionRect[1], selectionRect[4], selectionRect[5]);
    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    const int color = p->getUniformLocation("color");
    p->setParameter4f(color, 60.0f / 255.0f, 150.0f / 255.0f, 250.0f / 255.0f, 1.0f);
    glBindVertexArray(vertexArray);
    resetAttributes();
    bindFloatAttribute(p, "position", selectionRectBuffer, 2);
    glDrawArrays(GL_LINE_STRIP, 0, 5);
    p->setParameter4f(color, 60.0f / 255.0f, 150.0f / 255.0f, 250.0f / 255.0f, 0.05f);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);
    p->disable();
}

void MCV_PointRenderer::drawFocusAndContextBackground() {
    MCV_GLSLProgram* p = glslProgramFocusAndContextBackground;
    if (scaleLevels == 0 || vertexArray == 0 || !MCV_GLSLProgram::usable(p)) return;
    splatPointsOffscreen();
    plotViewport();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    p->bindAndEnable();
    p->setParameter4x4fv(p->getUniformLocation("modelViewProjectionMatrix"), mvpMatrix);
    p->setParameter4f(p->getUniformLocation("renderParams"), 0.1f, maxLevel, isRecording ? 1.0f : 0.0f,
                      1.0f / static_cast<float>(msGrid));
    p->bindTexture("backgroundSampler", 0, GL_TEXTURE_2D, fcBackgroundTexture);
    drawQuad(p);
    glBindVertexArray(0);
    p->disable();
}

void MCV_PointRenderer::drawScreenGrab() {
    if (densityDirty && renderMode == RENDER_DENSITY) drawDensityOffscreen();  // the frame still recomputes it
    if (printFramebuffer == 0) return;
    glBindFramebuffer(GL_FRAMEBUFFER, printFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    if (serialPrintMode && printBackground.size() >= 4)
        glClearColor(printBackground[0], printBackground[1], printBackground[2], printBackground[3]);
    else
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    if (renderMode == RENDER_DENSITY)
        drawDensity(true);
    else if (renderMode == RENDER_POINTS)
        drawPoints(true);
    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
}

std::vector<unsigned char> MCV_PointRenderer::print(int& width, int& height) {
    if (printSize == 0 || !ensurePrintFramebuffer()) {
        width = height = 0;
        return {};
    }
    width = height = static_cast<int>(printSize);
    syncPositions();
    takeFollowedClustering();
    drawScreenGrab();
    std::vector<unsigned char> rgb(static_cast<size_t>(printSize) * printSize * 3, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, printFramebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
    return rgb;
}

std::vector<std::vector<unsigned char>>* MCV_PointRenderer::video(int& width, int& height) {
    width = height = static_cast<int>(videoFrameSize);
    return &videoFrames;
}

void MCV_PointRenderer::printVideoFrame() {
    // Made at the full print size before the frame borrows a corner of it.
    if (!ensurePrintFramebuffer()) return;
    const unsigned saved = printSize;
    printSize = videoFrameSize;
    int width = 0, height = 0;
    std::vector<unsigned char> frame = print(width, height);
    if (!frame.empty()) videoFrames.push_back(std::move(frame));
    printSize = saved;
}
