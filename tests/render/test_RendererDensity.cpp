// Density mode and density clustering drawn for real: the landscape with and
// without contour levels, the mean-shift walk against a full-length walk on
// the CPU, three separated blobs giving three clusters, the dirty and stale
// rules that decide when the density and the clusters are recomputed, prints
// and video frames.
#include "RenderTest.h"

#include "render/MCV_GLSLProgram.h"

#include <random>
#include <set>

namespace {

using namespace rendertest;

// Whether c is the colormap's colour somewhere in [from, 1].
bool inTopOf(const std::string& name, const Rgb& c, float from) {
    for (float t = from; t <= 1.0f; t += 0.002f)
        if (near(c, colormapAt(name, t), 3)) return true;
    return false;
}

Rgb darker(const Rgb& c) {
    return {static_cast<int>(std::lround(c.r * 0.75)), static_cast<int>(std::lround(c.g * 0.75)),
            static_cast<int>(std::lround(c.b * 0.75))};
}

// Blob b's points are b * perBlob ... (b + 1) * perBlob - 1; all coordinates
// are positive, so the plot range is [0, largest coordinate].
struct Blobs {
    std::vector<float> xy;
    int perBlob = 0;
    float largest = 0.0f;
    // Pixel of data coordinate u in a side x side view.
    int px(float u, int side) const { return static_cast<int>((u / largest * 0.8f + 0.1f) * static_cast<float>(side)); }
};

Blobs threeBlobs(int perBlob, float spread) {
    const float centres[3][2] = {{0.2f, 0.2f}, {0.8f, 0.3f}, {0.5f, 0.8f}};
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, spread);
    Blobs blobs;
    blobs.perBlob = perBlob;
    for (const auto& c : centres)
        for (int i = 0; i < perBlob; ++i) {
            blobs.xy.push_back(c[0] + noise(random));
            blobs.xy.push_back(c[1] + noise(random));
        }
    blobs.largest = *std::max_element(blobs.xy.begin(), blobs.xy.end());
    return blobs;
}

class RendererDensityTest : public RenderTest {
protected:
    void setBlobs(int perBlob = 300, float spread = 0.03f) {
        blobs = threeBlobs(perBlob, spread);
        setData(blobs.xy, std::vector<float>(blobs.xy.size() / 2, 0.0f), 1);
    }
    // The cluster id of each blob, checking that the blob is one whole cluster.
    std::vector<int> blobClusters(const std::vector<std::vector<unsigned>>& members) {
        std::vector<int> clusterOf(blobs.xy.size() / 2, -1);
        for (size_t c = 0; c < members.size(); ++c)
            for (unsigned p : members[c]) clusterOf[p] = static_cast<int>(c);
        std::vector<int> ids;
        for (int b = 0; b < 3; ++b) {
            std::set<int> seen;
            for (int p = b * blobs.perBlob; p < (b + 1) * blobs.perBlob; ++p)
                seen.insert(clusterOf[static_cast<size_t>(p)]);
            EXPECT_EQ(seen.size(), 1u) << "blob " << b << " is split";
            ids.push_back(*seen.begin());
        }
        return ids;
    }
    Blobs blobs;
};

// The eleven level colours of a colormap and their contour shades.
struct Levels {
    std::vector<Rgb> level, contour;
    explicit Levels(const std::string& name) {
        for (int k = 0; k <= 10; ++k) {
            level.push_back(colormapAt(name, static_cast<float>(k) / 10.0f));
            contour.push_back(darker(level.back()));
        }
    }
    static bool in(const Rgb& c, const std::vector<Rgb>& set) {
        for (const Rgb& s : set)
            if (near(c, s, 3)) return true;
        return false;
    }
};

TEST_F(RendererDensityTest, ContinuousLandscapePeaksAtTheBlobsAndIsTransparentFarAway) {
    makeRenderer(200, 200);
    setBlobs();
    renderer->setRenderMode(3);
    renderer->setColormapDiscrete(false, 1);
    const std::vector<unsigned char> image = drawAndRead();
    // Each blob peaks near the largest density: the top of Spectral.
    const Rgb peak = pixelAt(image, 200, blobs.px(0.2f, 200), blobs.px(0.2f, 200));
    EXPECT_TRUE(inTopOf("Spectral", peak, 0.85f)) << peak;
    EXPECT_EQ(pixelAt(image, 200, 100, 100), kBackground);  // between the blobs
    EXPECT_EQ(pixelAt(image, 200, 5, 195), kBackground);

    // No levels: most drawn pixels across a blob are neither a level colour
    // nor a contour.
    const Levels levels("Spectral");
    int drawn = 0, quantised = 0;
    const int y = blobs.px(0.2f, 200);
    for (int x = blobs.px(0.2f, 200) - 16; x <= blobs.px(0.2f, 200) + 16; ++x) {
        const Rgb c = pixelAt(image, 200, x, y);
        if (c == kBackground) continue;
        ++drawn;
        quantised += Levels::in(c, levels.level) || Levels::in(c, levels.contour);
    }
    EXPECT_GT(drawn, 15);
    EXPECT_LT(quantised * 2, drawn);
}

TEST_F(RendererDensityTest, DiscreteLandscapeShowsElevenLevelsWithDarkerContours) {
    makeRenderer(200, 200);
    setBlobs();
    renderer->setRenderMode(3);  // density mode starts discrete
    ASSERT_TRUE(renderer->activeColormapDiscrete(1));
    const std::vector<unsigned char> image = drawAndRead();

    // Across the first blob every drawn pixel is a level colour or a contour.
    const Levels levels("Spectral");
    int contourPixels = 0;
    std::set<int> levelsSeen;
    const int y = blobs.px(0.2f, 200);
    for (int x = blobs.px(0.2f, 200) - 16; x <= blobs.px(0.2f, 200) + 16; ++x) {
        const Rgb c = pixelAt(image, 200, x, y);
        if (c == kBackground) continue;
        if (Levels::in(c, levels.level)) {
            for (int k = 0; k <= 10; ++k)
                if (near(c, levels.level[static_cast<size_t>(k)], 3)) levelsSeen.insert(k);
        } else {
            EXPECT_TRUE(Levels::in(c, levels.contour)) << "pixel " << x << " " << c;
            ++contourPixels;
        }
    }
    EXPECT_GE(contourPixels, 4);
    EXPECT_GE(levelsSeen.size(), 4u);
}

TEST_F(RendererDensityTest, PointsModeLeavesTheDensityForTheFirstDensityFrame) {
    makeRenderer(200, 200);
    setBlobs();
    renderer->setColormapDiscrete(false, 1);
    drawAndRead();  // points mode
    renderer->setRenderMode(3);
    renderer->setColormapDiscrete(false, 1);
    const Rgb peak = drawnPixel(blobs.px(0.8f, 200), blobs.px(0.3f, 200));
    EXPECT_TRUE(inTopOf("Spectral", peak, 0.85f)) << peak;
}

TEST_F(RendererDensityTest, HiddenSamplesLeaveTheDensity) {
    loadSampleFiles(2);
    ClusterKeepingAnalysis tsne(ANALYSIS_TSNE);
    makeRenderer(200, 200);
    renderer->setLocalData(&tsne, 1);
    blobs = threeBlobs(200, 0.03f);
    // The first blob comes from sample 1, the others from sample 0.
    std::vector<int> files(blobs.xy.size() / 2, 0);
    std::fill(files.begin(), files.begin() + 200, 1);
    setData(blobs.xy, std::vector<float>(files.size(), 0.0f), 1, &files);
    renderer->setRenderMode(3);
    std::vector<bool> samples = {true, false};
    renderer->setSampleSelection(&samples);
    const std::vector<unsigned char> image = drawAndRead();
    EXPECT_EQ(pixelAt(image, 200, blobs.px(0.2f, 200), blobs.px(0.2f, 200)), kBackground);
    EXPECT_NE(pixelAt(image, 200, blobs.px(0.8f, 200), blobs.px(0.3f, 200)), kBackground);
}

TEST_F(RendererDensityTest, ThreeSeparatedBlobsGiveThreeClustersHandedToTheAnalysis) {
    ClusterKeepingAnalysis analysis(ANALYSIS_NONE);
    makeRenderer(256, 256);
    renderer->setLocalData(&analysis, 1);
    setBlobs();
    EXPECT_EQ(renderer->meanShiftClustersName(), "");

    renderer->clusterOnce();
    ASSERT_EQ(analysis.calls, 1);
    EXPECT_EQ(analysis.lastName, "Density Clusters");
    ASSERT_EQ(analysis.lastMembers.size(), 3u);
    const std::vector<int> ids = blobClusters(analysis.lastMembers);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), 3u);
    // Ids follow the lowest point index of each basin: point 0 is in blob 0.
    EXPECT_EQ(ids[0], 0);
    // Members are listed in ascending point order.
    for (const auto& list : analysis.lastMembers) EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - test");

    // A position update makes them stale; without on-the-fly clustering the
    // next frame does not cluster again.
    renderer->copyLocalVertexData();
    EXPECT_EQ(renderer->meanShiftClustersName(), "");
    drawAndRead();
    EXPECT_EQ(analysis.calls, 1);
}

TEST_F(RendererDensityTest, ClusteringAtAnotherGridSizeFindsTheSameBlobs) {
    ClusterKeepingAnalysis analysis(ANALYSIS_NONE);
    makeRenderer(200, 200);
    renderer->setLocalData(&analysis, 1);
    setBlobs(200);
    renderer->setMsGrid(64);
    renderer->clusterOnce();
    ASSERT_EQ(analysis.lastMembers.size(), 3u);
    blobClusters(analysis.lastMembers);
}

TEST_F(RendererDensityTest, OnTheFlyClusteringReclustersEveryNewDensity) {
    ClusterKeepingAnalysis analysis(ANALYSIS_NONE);
    makeRenderer(200, 200);
    renderer->setLocalData(&analysis, 1);
    setBlobs(150);
    renderer->setOtfClustering(5);
    drawAndRead();
    EXPECT_EQ(analysis.calls, 1);
    drawAndRead();  // nothing changed
    EXPECT_EQ(analysis.calls, 1);
    renderer->setSigma(0.12f);
    drawAndRead();
    EXPECT_EQ(analysis.calls, 2);

    // clusterOnce keeps on-the-fly clustering on (as 1) ...
    renderer->clusterOnce();
    EXPECT_EQ(analysis.calls, 3);
    renderer->copyLocalVertexData();
    drawAndRead();
    EXPECT_EQ(analysis.calls, 4);
    // ... and switched off, the last clusters stay current.
    renderer->setOtfClustering(0);
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - test");
    renderer->copyLocalVertexData();
    drawAndRead();
    EXPECT_EQ(analysis.calls, 4);
}

TEST_F(RendererDensityTest, ClusterCentresAreDrawnOverTheLandscape) {
    ClusterKeepingAnalysis analysis(ANALYSIS_NONE);
    makeRenderer(400, 400);
    renderer->setLocalData(&analysis, 1);
    setBlobs();
    renderer->setRenderMode(3);
    renderer->setColormapDiscrete(false, 1);
    const std::vector<unsigned char> before = drawAndRead();
    renderer->clusterOnce();
    const std::vector<unsigned char> after = framebuffer->read();
    // Dark grey discs (0.1) near each blob's peak.
    for (const auto& centre : {std::pair<float, float>{0.2f, 0.2f}, {0.8f, 0.3f}, {0.5f, 0.8f}}) {
        int dark = 0;
        for (int dy = -12; dy <= 12; ++dy)
            for (int dx = -12; dx <= 12; ++dx) {
                const int x = blobs.px(centre.first, 400) + dx, y = blobs.px(centre.second, 400) + dy;
                dark += near(pixelAt(after, 400, x, y), {26, 26, 26}, 3) &&
                        !near(pixelAt(before, 400, x, y), {26, 26, 26}, 3);
            }
        EXPECT_GE(dark, 3) << centre.first << ", " << centre.second;
    }
}

TEST_F(RendererDensityTest, PrintAndVideoFramesHaveTheirSizes) {
    makeRenderer(200, 200);
    setBlobs(100);
    renderer->setRecording(true);
    drawAndRead();
    const std::vector<unsigned char> screen = drawAndRead();
    // The screen keeps its own background while frames are recorded.
    EXPECT_EQ(pixelAt(screen, 200, 2, 2), kBackground);
    int width = 0, height = 0;
    std::vector<std::vector<unsigned char>>* frames = renderer->video(width, height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 1024);
    ASSERT_EQ(frames->size(), 2u);
    for (const auto& frame : *frames) EXPECT_EQ(frame.size(), 1024u * 1024u * 3u);
    // A frame is a print at the frame size: white background, the blobs drawn.
    EXPECT_EQ(pixelAt(frames->front(), 1024, 2, 2), kWhite);
    EXPECT_NE(pixelAt(frames->front(), 1024, blobs.px(0.2f, 1024), blobs.px(0.2f, 1024)), kWhite);

    renderer->setRecording(false);
    renderer->setRenderMode(3);
    const std::vector<unsigned char> print = renderer->print(width, height);
    EXPECT_EQ(width, 4096);
    ASSERT_EQ(print.size(), 4096u * 4096u * 3u);
    EXPECT_EQ(pixelAt(print, 4096, 10, 10), kWhite);
    EXPECT_NE(pixelAt(print, 4096, blobs.px(0.2f, 4096), blobs.px(0.2f, 4096)), kWhite);
    EXPECT_EQ(renderer->video(width, height)->size(), 2u);
}

TEST_F(RendererDensityTest, SerialPrintsUseTheirBackgroundAndRange) {
    makeRenderer(200, 200);
    renderer->setPointOpacity(1.0f);
    renderer->setPointHaloSize(0.0f);
    renderer->setPointSize(0.02f);
    setData({0.5f, 0.5f, 1, 1}, {4, 0}, 1);
    renderer->setPrintParameters({4, 8}, {0, 0, 0, 1});
    renderer->setSerialPrintMode(true);
    int width = 0, height = 0;
    std::vector<unsigned char> print = renderer->print(width, height);
    EXPECT_EQ(pixelAt(print, 4096, 10, 10), (Rgb{0, 0, 0}));
    EXPECT_TRUE(near(pixelAt(print, 4096, 2048, 2048), colormapAt("Viridis", 0.0f), 2));
    // An empty range falls back to the marker's own range (0 to 4).
    renderer->setPrintParameters({}, {0, 0, 0, 1});
    print = renderer->print(width, height);
    EXPECT_TRUE(near(pixelAt(print, 4096, 2048, 2048), colormapAt("Viridis", 1.0f), 2));
}

// The mean-shift program on a synthetic gradient field sampled without
// interpolation, against a CPU walk of the full 10,000 steps.
TEST_F(RendererDensityTest, MeanShiftWalkEndsWhereTheFullLengthWalkEnds) {
    const int g = 64;
    // Towards the nearer of two maxima, zero beyond 0.3 from both.
    const float maxima[2][2] = {{0.31f, 0.42f}, {0.68f, 0.57f}};
    std::vector<float> field(static_cast<size_t>(g * g * 3), 0.0f);
    for (int j = 0; j < g; ++j)
        for (int i = 0; i < g; ++i) {
            const float x = (i + 0.5f) / g, y = (j + 0.5f) / g;
            int best = -1;
            float bestDistance = 0.3f;
            for (int m = 0; m < 2; ++m) {
                const float d = std::hypot(maxima[m][0] - x, maxima[m][1] - y);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = m;
                }
            }
            if (best < 0) continue;
            const size_t at = static_cast<size_t>((j * g + i) * 3);
            field[at] = maxima[best][0] - x;
            field[at + 1] = maxima[best][1] - y;
        }

    MCV_GLSLProgram program;
    ASSERT_TRUE(
        program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramMeanShiftOffscreen_fragment", "ms"));
    program.compileAndLink();
    ASSERT_TRUE(program.isCompiledAndLinked());
    GLuint gradient = 0, target = 0, fbo = 0, vao = 0, quad = 0;
    glGenTextures(1, &gradient);
    glBindTexture(GL_TEXTURE_2D, gradient);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, g, g, 0, GL_RGB, GL_FLOAT, field.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, g, g, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    const float corners[8] = {0, 1, 0, 0, 1, 1, 1, 0};
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &quad);
    glBindBuffer(GL_ARRAY_BUFFER, quad);
    glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW);

    glViewport(0, 0, g, g);
    glDisable(GL_BLEND);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    program.bindAndEnable();
    const std::vector<float> m = unitSquareMatrix();
    program.setParameter4x4fv(program.getUniformLocation("modelViewProjectionMatrix"), m.data());
    program.setParameter4f(program.getUniformLocation("renderParams"), 0.25f, 0.0f, 1.0f / g, 1.0f / g);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, gradient);
    program.setParameter1i(program.getSamplerLocation("gradientSampler"), 0);
    const GLint position = program.getAttributeLocation("position");
    glEnableVertexAttribArray(static_cast<GLuint>(position));
    glVertexAttribPointer(static_cast<GLuint>(position), 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    std::vector<float> ends(static_cast<size_t>(g * g * 4));
    glReadPixels(0, 0, g, g, GL_RGBA, GL_FLOAT, ends.data());
    program.disable();
    program.releaseProgram();
    glBindVertexArray(0);
    glDeleteBuffers(1, &quad);
    glDeleteVertexArrays(1, &vao);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    glDeleteTextures(1, &gradient);
    glDeleteTextures(1, &target);

    auto sample = [&](float x, float y) {
        const int i = std::clamp(static_cast<int>(std::floor(x * g)), 0, g - 1);
        const int j = std::clamp(static_cast<int>(std::floor(y * g)), 0, g - 1);
        const size_t at = static_cast<size_t>((j * g + i) * 3);
        return std::pair<float, float>(field[at], field[at + 1]);
    };
    float worst = 0.0f;
    int walkers = 0;
    for (int j = 0; j < g; ++j)
        for (int i = 0; i < g; ++i) {
            const size_t at = static_cast<size_t>((j * g + i) * 4);
            float x = (i + 0.5f) / g, y = (j + 0.5f) / g;
            if (sample(x, y) == std::pair<float, float>(0.0f, 0.0f)) {
                EXPECT_EQ(ends[at + 2], 0.0f);
                continue;
            }
            ++walkers;
            for (int s = 0; s < 10000; ++s) {
                const auto [gx, gy] = sample(x, y);
                if (gx == 0.0f && gy == 0.0f) break;
                const float length = std::sqrt(gx * gx + gy * gy);
                x += gx / length * 0.25f / g;
                y += gy / length * 0.25f / g;
            }
            EXPECT_EQ(ends[at + 2], 1.0f);
            worst = std::max({worst, std::fabs(ends[at] - x) * g, std::fabs(ends[at + 1] - y) * g});
        }
    EXPECT_GT(walkers, 1000);
    // In texels. Near a maximum both walks circle on the same small orbit,
    // whose phase at the last step depends on rounding; the clustering joins
    // ends closer than one texel.
    EXPECT_LT(worst, 0.5f);
}

}  // namespace
