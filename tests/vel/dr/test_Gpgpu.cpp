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

    GpgpuSneRaster raster;
    Embedding<float> embedding;
};

}  // namespace

// 411 points fill the 21 x 21 sample texture but for its last row.
TEST_F(GpgpuTest, GradientMatchesTheExactKernelSum) {
    const auto blobs = veltest::makeBlobs(3, 137, 2, 4.0, 41);
    const SparseMatrix P = veltest::randomMatrix(blobs.n, 10, 5);
    step(blobs.data, P, 4.f);
    const auto expected = exactTsneGradient(P, blobs.data, 4.0, 6.5);  // the kernel texture's support
    double largest = 0, worst = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        largest = std::max(largest, std::fabs(expected[k]));
        worst = std::max(worst, std::fabs(raster.gradient()[k] - expected[k]));
    }
    EXPECT_GT(largest, 0.0);
    EXPECT_LT(worst, 0.03 * largest) << "largest " << largest;
    for (unsigned int i = 0; i < blobs.n; ++i) ASSERT_GE(raster.sampledFields()[4 * i], 0.99f) << "own kernel, " << i;
    EXPECT_EQ(textureWidth(raster.sampleTexture()), 21);
    embedding.resize(2, 7);
    EXPECT_THROW(raster.compute(&embedding, 1.f, 0.f, 1.f), std::logic_error)
        << "an embedding that no longer matches the initialised one";
}

// Points far outside each other's support feel no repulsion in the field,
// though the normaliser counts them: the attractive forces set the gradient
// but for a trace of each point's own kernel, interpolated between pixels.
TEST_F(GpgpuTest, WithoutNeighboursInTheSupportOnlyAttractionActs) {
    SparseMatrix P(2);
    P[0][1] = P[1][0] = 1.f;
    step({-10.f, 0.f, 10.f, 0.f}, P, 4.f, 1.f);
    const double pull = 4.0 * 4.0 * 1.0 * 20.0 / (1.0 + 400.0) / 2.0;
    EXPECT_NEAR(raster.gradient()[0], -pull, 0.005 * pull);
    EXPECT_NEAR(raster.gradient()[2], pull, 0.005 * pull);
    EXPECT_NEAR(raster.gradient()[1], 0.0, 0.005 * pull);
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

// Texel (i, j) holds (q, x q^2, y q^2, 0) at offset x = (i - 32) / 32 x 6.5,
// y likewise; the CPU kernel of the same radius is the uploaded texture.
TEST_F(GpgpuTest, KernelTextureHoldsTheStudentTKernel) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    vel::dr::RasterFieldComputation fields;
    fields.init(buffer, 6.5f);
    std::vector<float> texels(65 * 65 * 4), generated;
    glBindTexture(GL_TEXTURE_2D, fields.kernelTexture());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    for (unsigned int j = 0; j < 65; j += 4)
        for (unsigned int i = 0; i < 65; i += 4) {
            const double x = (i - 32.0) / 32.0 * 6.5, y = (j - 32.0) / 32.0 * 6.5, q = 1.0 / (1.0 + x * x + y * y);
            const float* t = &texels[(j * 65 + i) * 4];
            EXPECT_FLOAT_EQ(t[0], static_cast<float>(q)) << i << "," << j;
            EXPECT_FLOAT_EQ(t[1], static_cast<float>(x * q * q));
            EXPECT_FLOAT_EQ(t[2], static_cast<float>(y * q * q));
            EXPECT_EQ(t[3], 0.f);
        }
    fields.generateTSNEKernel(32.f, generated, 6.5f);
    EXPECT_EQ(generated, texels);
    fields.generateTSNEKernel(0.f, generated, 1.f);  // radius 0: the centre alone, no division by 0
    EXPECT_EQ(generated, (std::vector<float>{1.f, 0.f, 0.f, 0.f}));
    for (int twice = 0; twice < 2; ++twice) fields.clean();
    glDeleteBuffers(1, &buffer);
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
