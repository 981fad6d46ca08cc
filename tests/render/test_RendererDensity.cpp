// Density mode and density clustering drawn for real, and the mean-shift
// program against a full-length walk on the CPU.
#include "RenderTest.h"

#include "render/MCV_GLSLProgram.h"

#include <QOpenGLBuffer>
#include <QOpenGLTexture>
#include <QOpenGLVertexArrayObject>

#include <random>

namespace {

using namespace rendertest;

class RendererDensityTest : public RenderTest {
protected:
    // Blob b holds points b * perBlob ...; the plot range is [0, largest coordinate].
    void setBlobs(int perBlob = 300, const std::vector<int>* files = nullptr) {
        const float centres[3][2] = {{0.2f, 0.2f}, {0.8f, 0.3f}, {0.5f, 0.8f}};
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0.0f, 0.03f);
        std::vector<float> xy;
        for (int i = 0; i < 6 * perBlob; ++i) xy.push_back(centres[i / (2 * perBlob)][i % 2] + noise(random));
        largest = *std::max_element(xy.begin(), xy.end());
        setData(xy, std::vector<float>(xy.size() / 2, 0.0f), 1, files);
    }
    int px(float u, int side) const { return static_cast<int>((u / largest * 0.8f + 0.1f) * static_cast<float>(side)); }
    float largest = 0.0f;
};

TEST_F(RendererDensityTest, LandscapePeaksAtTheBlobsAndDiscreteModeShowsLevelsWithDarkerContours) {
    makeRenderer(200, 200);
    setBlobs();
    drawAndRead();  // points mode first: the first density frame must compute the density
    renderer->setRenderMode(3);
    // Across the first blob every pixel is one of the eleven level colours or
    // its contour shade (three quarters of it); density mode starts discrete.
    auto shadeOfALevel = [](QRgb c, float f) {
        for (float k = 0; k <= 10; ++k) {
            const QRgb l = colormapAt("Spectral", k / 10.0f);
            if (rgbNear(c, qRgb(std::lround(qRed(l) * f), std::lround(qGreen(l) * f), std::lround(qBlue(l) * f)), 3))
                return true;
        }
        return false;
    };
    const Image image = drawAndRead();
    int drawn = 0, contours = 0;
    for (int x = px(0.2f, 200) - 16; x <= px(0.2f, 200) + 16; ++x) {
        const QRgb c = image.at(x, px(0.2f, 200));
        drawn += c != kBackground;
        contours += c != kBackground && !shadeOfALevel(c, 1.0f) && shadeOfALevel(c, 0.75f);
        EXPECT_TRUE(c == kBackground || shadeOfALevel(c, 1.0f) || shadeOfALevel(c, 0.75f)) << x;
    }
    EXPECT_GT(drawn, 15);
    EXPECT_GE(contours, 4);
    EXPECT_EQ(image.at(100, 100), kBackground);  // between the blobs
    // Continuous, the peak is near the top of the colormap.
    renderer->setColormapDiscrete(false, 1);
    const QRgb peak = drawnPixel(px(0.8f, 200), px(0.3f, 200));
    EXPECT_TRUE(qRed(peak) > 150 && qGreen(peak) < 150) << std::hex << peak;  // the red end of Spectral
}

TEST_F(RendererDensityTest, ThreeBlobsGiveThreeClustersDrawnAtTheirCentresAndReclusteredOnlyWhenDue) {
    ClusterKeepingAnalysis analysis(ANALYSIS_NONE);
    makeRenderer(400, 400);
    renderer->setLocalData(&analysis, 1);
    setBlobs();
    renderer->setRenderMode(3);
    renderer->setColormapDiscrete(false, 1);
    const Image before = drawAndRead();
    renderer->clusterOnce();
    const Image after = drawAndRead();
    ASSERT_EQ(analysis.lastMembers.size(), 3u);
    // Dark grey discs near each blob's peak.
    for (const auto& [u, v] : {std::pair<float, float>{0.2f, 0.2f}, {0.8f, 0.3f}, {0.5f, 0.8f}}) {
        int dark = 0;
        for (int y = px(v, 400) - 12; y <= px(v, 400) + 12; ++y)
            for (int x = px(u, 400) - 12; x <= px(u, 400) + 12; ++x)
                dark += rgbNear(after.at(x, y), qRgb(26, 26, 26), 3) && !rgbNear(before.at(x, y), qRgb(26, 26, 26), 3);
        EXPECT_GE(dark, 3) << u << ", " << v;
    }
    // A position update makes them stale; without on-the-fly clustering no
    // frame clusters again, with it every new density is clustered once.
    renderer->copyLocalVertexData();
    EXPECT_EQ(renderer->meanShiftClustersName(), "");
    drawAndRead();
    EXPECT_EQ(analysis.calls, 1);
    renderer->setOtfClustering(5);
    drawAndRead();
    drawAndRead();
    EXPECT_EQ(analysis.calls, 2);
    renderer->setSigma(0.12f);
    drawAndRead();
    EXPECT_EQ(analysis.calls, 3);
    // clusterOnce keeps on-the-fly clustering on; switched off, the last
    // clusters stay current.
    renderer->clusterOnce();
    renderer->copyLocalVertexData();
    drawAndRead();
    EXPECT_EQ(analysis.calls, 5);
    renderer->setOtfClustering(0);
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - test");
    renderer->copyLocalVertexData();
    drawAndRead();
    EXPECT_EQ(analysis.calls, 5);
}

TEST_F(RendererDensityTest, PrintsDrawTheDensityAndHiddenSamplesLeaveIt) {
    loadFiles({{{1.0f}}, {{1.0f}}}, {"M"});
    ClusterKeepingAnalysis tsne(ANALYSIS_TSNE);
    makeRenderer(200, 200);
    renderer->setLocalData(&tsne, 1);
    std::vector<int> files(300, 0);  // the first blob comes from sample 1
    std::fill(files.begin(), files.begin() + 100, 1);
    setBlobs(100, &files);
    renderer->setRenderMode(3);
    const Image print = printed();
    ASSERT_EQ(print.rgb.size(), static_cast<size_t>(print.width * print.width * 3));
    EXPECT_EQ(print.at(10, 10), kWhite);
    EXPECT_NE(print.at(px(0.2f, print.width), px(0.2f, print.width)), kWhite);
    std::vector<bool> samples = {true, false};
    renderer->setSampleSelection(&samples);
    const Image image = drawAndRead();
    EXPECT_EQ(image.at(px(0.2f, 200), px(0.2f, 200)), kBackground);
    EXPECT_NE(image.at(px(0.8f, 200), px(0.3f, 200)), kBackground);
}

// The mean-shift program on a gradient field sampled without interpolation,
// against a CPU walk of the full 10,000 steps.
TEST_F(RendererDensityTest, MeanShiftWalkEndsWhereTheFullLengthWalkEnds) {
    // Towards a maximum off the texel grid, zero beyond 0.3 from it.
    const int g = 64;
    std::vector<float> field(static_cast<size_t>(g * g * 3), 0.0f);
    auto at = [&](float x, float y) {
        return static_cast<size_t>(std::clamp(int(y * g), 0, g - 1) * g + std::clamp(int(x * g), 0, g - 1));
    };
    for (float y = 0.5f / g; y < 1; y += 1.0f / g)
        for (float x = 0.5f / g; x < 1; x += 1.0f / g)
            if (std::hypot(0.41f - x, 0.57f - y) < 0.3f) {
                field[3 * at(x, y)] = 0.41f - x;
                field[3 * at(x, y) + 1] = 0.57f - y;
            }
    MCV_GLSLProgram program;
    program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramMeanShiftOffscreen_fragment", "ms");
    program.compileAndLink();
    ASSERT_TRUE(program.isCompiledAndLinked());
    QOpenGLFramebufferObject target(g, g, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D, GL_RGBA32F);
    ASSERT_TRUE(target.bind());
    QOpenGLTexture gradient(QOpenGLTexture::Target2D);
    gradient.setSize(g, g);
    gradient.setFormat(QOpenGLTexture::RGB32F);
    gradient.allocateStorage();
    gradient.setData(QOpenGLTexture::RGB, QOpenGLTexture::Float32, static_cast<const void*>(field.data()));
    gradient.setMinMagFilters(QOpenGLTexture::Nearest, QOpenGLTexture::Nearest);
    gradient.bind(0);
    const float corners[8] = {0, 1, 0, 0, 1, 1, 1, 0};
    QOpenGLVertexArrayObject vao;
    vao.create();
    vao.bind();
    QOpenGLBuffer quad;
    quad.create();
    quad.bind();
    quad.allocate(corners, sizeof(corners));
    glViewport(0, 0, g, g);
    glDisable(GL_BLEND);
    program.bindAndEnable();
    const std::vector<float> m = unitSquareMatrix();
    program.setParameter4x4fv(program.getUniformLocation("modelViewProjectionMatrix"), m.data());
    program.setParameter4f(program.getUniformLocation("renderParams"), 0.25f, 0.0f, 1.0f / g, 1.0f / g);
    program.setParameter1i(program.getSamplerLocation("gradientSampler"), 0);
    const GLuint position = static_cast<GLuint>(program.getAttributeLocation("position"));
    glEnableVertexAttribArray(position);
    glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    std::vector<float> ends(static_cast<size_t>(g * g * 4));
    glReadPixels(0, 0, g, g, GL_RGBA, GL_FLOAT, ends.data());
    program.disable();
    program.releaseProgram();
    vao.release();
    target.release();

    // Every texel with a gradient walks; the CPU walk takes all 10,000 steps
    // of a quarter texel. In texels: near the maximum both walks circle on one
    // small orbit whose phase at the last step depends on rounding, and
    // clustering joins ends closer than one texel.
    for (float y0 = 0.5f / g; y0 < 1; y0 += 1.0f / g)
        for (float x0 = 0.5f / g; x0 < 1; x0 += 1.0f / g) {
            const float* end = &ends[4 * at(x0, y0)];
            const bool moves = field[3 * at(x0, y0)] != 0.0f || field[3 * at(x0, y0) + 1] != 0.0f;
            ASSERT_EQ(end[2], moves ? 1.0f : 0.0f);
            float x = x0, y = y0;
            for (int s = 0; moves && s < 10000; ++s) {
                const float gx = field[3 * at(x, y)], gy = field[3 * at(x, y) + 1];
                if (gx == 0.0f && gy == 0.0f) break;
                x += gx / std::hypot(gx, gy) * 0.25f / g;
                y += gy / std::hypot(gx, gy) * 0.25f / g;
            }
            EXPECT_LT(moves ? std::max(std::fabs(end[0] - x), std::fabs(end[1] - y)) * g : 0.0f, 0.5f)
                << x0 << " " << y0;
        }
}

}  // namespace
