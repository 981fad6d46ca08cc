#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "support/exactTsneGradient.h"
#include "vel/GLTest.h"
#include "vel/VelTestData.h"
#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/GpgpuSneRaster.h"
#include "vel/dr/RasterFieldComputation.h"
#include "vel/dr/ShaderProgram.h"

using vel::data::Embedding;
using vel::dr::GpgpuSneRaster;
using vel::dr::TsneParameters;
using veltest::SparseMatrix;

namespace {

class GpgpuTest : public veltest::GLTest {
protected:
    void TearDown() override {
        raster.clean();
        GLTest::TearDown();
    }
    static int textureWidth(unsigned int texture) {
        GLint value = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
        return value;
    }
    // One step; multiplier 0 keeps the points in place but for the centring.
    void step(const std::vector<float>& points, SparseMatrix P, float exaggeration = 4.f, float multiplier = 0.f) {
        embedding.resize(2, static_cast<unsigned int>(points.size() / 2));
        embedding.getContainer() = points;
        raster.initialize(&embedding, TsneParameters(), P);
        raster.compute(&embedding, exaggeration, 0.f, multiplier);
    }

    // The other points' kernels within the support at point i: (q, x q^2, y q^2).
    static std::vector<double> exactField(const std::vector<float>& y, unsigned int i) {
        std::vector<double> sum(3, 0.0);
        for (size_t j = 0; j < y.size() / 2; ++j) {
            const double dx = static_cast<double>(y[2 * i]) - y[2 * j];
            const double dy = static_cast<double>(y[2 * i + 1]) - y[2 * j + 1];
            if (j == i || std::fabs(dx) >= 6.5 || std::fabs(dy) >= 6.5) continue;
            const double q = 1.0 / (1.0 + dx * dx + dy * dy);
            sum[0] += q, sum[1] += dx * q * q, sum[2] += dy * q * q;
        }
        return sum;
    }

    GpgpuSneRaster raster;
    Embedding<float> embedding;
};

}  // namespace

// 411 points fill the 21 x 21 sample texture but for its last row.
TEST_F(GpgpuTest, GradientMatchesTheExactKernelSum) {
    const auto blobs = veltest::makeBlobs(3, 137, 2, 4.0, 41);
    const SparseMatrix P = veltest::randomMatrix(blobs.n, 10, 5);
    step(blobs.data, P, 4.f);
    const auto expected = exactTsneGradient(P, blobs.data, 4.0, 6.5);  // the field kernel's support
    double largest = 0, worst = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        largest = std::max(largest, std::fabs(expected[k]));
        worst = std::max(worst, std::fabs(raster.gradient()[k] - expected[k]));
    }
    EXPECT_GT(largest, 0.0);
    EXPECT_LT(worst, 0.03 * largest) << "largest " << largest;
    // The normaliser: the other points' kernels within the support, summed
    // over all points, a little less than the exact sum where the bilinear
    // samples flatten each kernel's peak.
    double Z = 0, exactZ = 0;
    for (unsigned int i = 0; i < blobs.n; ++i) {
        Z += raster.sampledFields()[4 * i];
        exactZ += exactField(blobs.data, i)[0];
    }
    EXPECT_NEAR(Z, exactZ, 0.03 * exactZ);
    EXPECT_EQ(textureWidth(raster.sampleTexture()), 21);
    embedding.resize(2, 7);
    EXPECT_THROW(raster.compute(&embedding, 1.f, 0.f, 1.f), std::logic_error)
        << "an embedding that no longer matches the initialised one";
}

// Points far outside each other's support feel no repulsion in the field:
// the attractive forces alone set the gradient, each point's own kernel
// taken out of the field it samples.
TEST_F(GpgpuTest, WithoutNeighboursInTheSupportOnlyAttractionActs) {
    SparseMatrix P(2);
    P[0][1] = P[1][0] = 1.f;
    step({-10.f, 0.f, 10.f, 0.f}, P, 4.f, 1.f);
    const double pull = 4.0 * 4.0 * 1.0 * 20.0 / (1.0 + 400.0) / 2.0;
    EXPECT_NEAR(raster.gradient()[0], -pull, 1e-6 * pull);
    EXPECT_NEAR(raster.gradient()[2], pull, 1e-6 * pull);
    EXPECT_NEAR(raster.gradient()[1], 0.0, 1e-6 * pull);
    // Fresh gains: they move by learning rate x gain 1.2 x gradient, the rate
    // held to the number of points, 2.
    EXPECT_NEAR(embedding.dataAt(0, 0), -10.f + static_cast<float>(2.0 * 1.2 * raster.gradient()[0] * -1.0), 1e-5f);
}

// The bounds are widened by 5 % on each side, two pixels per unit, at least
// five; coincident points span no range but still get a field, without NaN.
TEST_F(GpgpuTest, GridFollowsTheEmbeddingsExtent) {
    using Case = std::tuple<std::vector<float>, std::vector<float>, unsigned int>;
    for (const auto& [points, bounds, width] :
         {Case{{0.f, 0.f, 100.f, 50.f, 30.f, 20.f}, {-5.f, -2.5f, 105.f, 52.5f}, 220},
          Case{{2.f, 3.f, 2.f, 3.f}, {1.5f, 2.5f, 2.5f, 3.5f}, 5}}) {
        step(points, SparseMatrix(points.size() / 2), 1.f, 1.f);
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(raster.bounds()[k], bounds[k]) << k;
        EXPECT_EQ(textureWidth(raster.fieldTexture()), width);
    }
    for (double g : raster.gradient()) EXPECT_EQ(g, 0.0);
    for (float v : embedding.getContainer()) EXPECT_EQ(v, 0.f);  // centred on the origin after the exaggeration
}

// A map spread far gets a coarser field, never a larger one: at most 64
// pixels a point (at least 256 x 256, at most 2048 x 2048) and 4096 a side,
// each side at least five, the aspect kept.
TEST_F(GpgpuTest, AFarSpreadMapGetsACoarserFieldNotALargerOne) {
    using Case = std::tuple<unsigned int, unsigned int, unsigned int, unsigned int, unsigned int>;
    for (const auto& [points, width, height, boundedWidth, boundedHeight] :
         {Case{3, 220, 110, 220, 110}, Case{67, 1024, 1024, 256, 256}, Case{100000, 40000, 400, 4096, 204},
          Case{1, 100000, 2, 4096, 5}, Case{5000000, 1000, 1000, 1000, 1000}}) {
        unsigned int w = width, h = height;
        GpgpuSneRaster::boundFieldGrid(points, w, h);
        EXPECT_EQ(w, boundedWidth) << points << " points, " << width << " x " << height;
        EXPECT_EQ(h, boundedHeight) << points << " points, " << width << " x " << height;
    }
    // 67 points over 20,000 units: 256 x 256 pixels at most, not 40,000 a side.
    std::vector<float> points;
    for (int i = 0; i < 67; ++i)
        points.insert(points.end(), {static_cast<float>(i % 8) * 2500.f, static_cast<float>(i / 8) * 2500.f});
    step(points, SparseMatrix(67), 1.f, 1.f);
    const int width = textureWidth(raster.fieldTexture());
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_LE(width * height, 256 * 256);
    EXPECT_GT(width * height, 250 * 250);
}

// Every pixel of the field holds the kernels of the points whose support
// covers its centre, evaluated at the centre's exact offset.
TEST_F(GpgpuTest, FieldPixelsHoldTheKernelSumAtTheirCentres) {
    const std::vector<float> points = {0.f, 0.f, 3.f, 1.f, -2.5f, 4.f, 9.f, -3.f};
    step(points, SparseMatrix(4), 1.f, 0.f);
    const auto& b = raster.bounds();
    GLint width = textureWidth(raster.fieldTexture()), height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<float> field(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, field.data());
    double worst = 0;
    for (GLint row = 0; row < height; ++row)
        for (GLint column = 0; column < width; ++column) {
            const double cx = b[0] + (column + 0.5) * (b[2] - b[0]) / width;
            const double cy = b[1] + (row + 0.5) * (b[3] - b[1]) / height;
            double expected[3] = {0, 0, 0};
            for (size_t j = 0; j < 4; ++j) {
                const double dx = cx - points[2 * j], dy = cy - points[2 * j + 1];
                if (std::fabs(dx) >= 6.5 || std::fabs(dy) >= 6.5) continue;
                const double q = 1.0 / (1.0 + dx * dx + dy * dy);
                expected[0] += q, expected[1] += dx * q * q, expected[2] += dy * q * q;
            }
            const float* pixel = &field[(static_cast<size_t>(row) * static_cast<size_t>(width) + column) * 4];
            for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(pixel[k] - expected[k]));
        }
    EXPECT_LT(worst, 1e-5);
}

// A point samples the field of the other points alone, on any grid, to the
// few per cent that bilinear samples between pixels half a unit apart
// allow: a map thin along one axis (its support spans millions of viewports
// there), two points at the border of a five-pixel grid, points out of each
// other's support on the adaptive grid and on a bounded, coarse one.
TEST_F(GpgpuTest, SampledFieldsHoldTheOtherPointsKernelsAlone) {
    std::vector<float> coarse;
    for (int i = 0; i < 67; ++i)
        coarse.insert(coarse.end(), {static_cast<float>(i % 8) * 2500.f, static_cast<float>(i / 8) * 2500.f});
    const struct {
        const char* name;
        std::vector<float> points;
    } cases[] = {
        {"thin", {0.f, 0.f, 4.f, 1e-6f, 2.f, -1e-6f}},
        {"two close points", {0.f, 0.f, 0.02f, 0.01f}},
        {"apart", {0.f, 0.f, 50.f, 0.f, 0.f, 50.f, 50.f, 50.f}},
        {"coarse grid", coarse},
    };
    for (const auto& c : cases) {
        step(c.points, SparseMatrix(c.points.size() / 2), 1.f, 0.f);
        for (unsigned int i = 0; i < c.points.size() / 2; ++i) {
            const auto expected = exactField(c.points, i);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(raster.sampledFields()[4 * i + k], expected[k], 1e-6 + 0.05 * std::fabs(expected[k]))
                    << c.name << ", point " << i << ", channel " << k;
        }
    }
}

// A failed build deletes the program and carries the driver's log naming the
// shader's kind; a re-created program frees its predecessor.
TEST_F(GpgpuTest, ShaderFailuresCarryTheLogAndDeleteTheProgram) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"out vec4 c;\nvoid main() { c = vec4(1.0) }\n", "Fragment shader info log:\n"},
        {"vec4 missing();\nout vec4 c;\nvoid main() { c = missing(); }\n", "missing"},  // links, not compiles
        {"out vec4 c;\nvoid main() { c = vec4(1.0); }\n", ""},
    };
    for (const auto& [fragment, expected] : cases) {
        vel::dr::ShaderProgram program;
        program.build();  // never created: nothing happens
        program.create();
        const unsigned int handle = program.handle();
        program.addShader(vel::dr::VERTEX_SHADER, "#version 330 core\nvoid main() { gl_Position = vec4(0.0); }\n");
        program.addShader(vel::dr::FRAGMENT_SHADER, ("#version 330 core\n" + fragment).c_str());
        try {
            program.build();
            EXPECT_TRUE(expected.empty()) << "built: " << fragment;
        } catch (const vel::dr::ErrorMessageException& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(expected), std::string::npos) << message;
            EXPECT_GT(message.size(), expected.size()) << "no driver log";
        }
        EXPECT_EQ(program.isLinked(), expected.empty());
        EXPECT_EQ(glIsProgram(handle) == GL_TRUE, expected.empty());
        program.create();
        if (program.handle() != handle) {
            EXPECT_EQ(glIsProgram(handle), GL_FALSE);  // OpenGL may hand out the freed name anew
        }
        program.destroy();
        program.destroy();
        EXPECT_FALSE(program.isCreated());
    }
    // Compute shaders (not in OpenGL 3.3) are refused before OpenGL is asked.
    vel::dr::Shader compute(vel::dr::COMPUTE_SHADER);
    EXPECT_THROW(compute.create(), vel::dr::ShaderLoadingException);
    EXPECT_EQ(compute.getInfoLog(), "Compute shader info log:\n");
}
