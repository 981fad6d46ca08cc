#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/RasterFieldComputation.h"

using vel::dr::RasterFieldComputation;

namespace {

// The field over bounds -10..10 on a 40 x 40 grid: two pixels per unit, pixel
// k centred at -10 + (k + 0.5) / 2.
constexpr float kMin = -10.f, kMax = 10.f, kSupport = 6.5f;
constexpr unsigned int kGrid = 40;

float pixelCentre(unsigned int k) { return kMin + (static_cast<float>(k) + 0.5f) * (kMax - kMin) / kGrid; }

class RasterFieldTest : public veltest::GLTest {
protected:
    void TearDown() override {
        fields.clean();
        if (buffer != 0) glDeleteBuffers(1, &buffer);
        GLTest::TearDown();
    }
    void init(const std::vector<float>& points) {
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(points.size() * sizeof(float)), points.data(),
                     GL_DYNAMIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        fields.init(buffer, kSupport);
    }
    void upload(const std::vector<float>& points) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(points.size() * sizeof(float)), points.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    // Renders and reads back the field from the framebuffer compute() leaves
    // bound: kGrid x kGrid RGBA pixels, rows bottom-up.
    std::vector<float> render(unsigned int numPoints) {
        fields.compute(kGrid, kGrid, kSupport, numPoints, kMin, kMax, kMin, kMax);
        std::vector<float> pixels(kGrid * kGrid * 4);
        glReadPixels(0, 0, kGrid, kGrid, GL_RGBA, GL_FLOAT, pixels.data());
        return pixels;
    }
    static const float* at(const std::vector<float>& field, unsigned int i, unsigned int j) {
        return &field[(j * kGrid + i) * 4];
    }

    RasterFieldComputation fields;
    GLuint buffer = 0;
};

}  // namespace

// Texel (i, j) holds (q, x q^2, y q^2, 0) at offset x = (i - 32) / 32 x 6.5,
// y likewise; the CPU kernel of the same radius is the uploaded texture.
TEST_F(RasterFieldTest, KernelTextureHoldsTheStudentTKernel) {
    init({0.f, 0.f});
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
    fields.generateTSNEKernel(32.f, generated, kSupport);
    EXPECT_EQ(generated, texels);
    fields.generateTSNEKernel(2.f, generated, 1.f);
    ASSERT_EQ(generated.size(), 5u * 5u * 4u);
    EXPECT_FLOAT_EQ(generated[(2 * 5 + 4) * 4], 0.5f);  // x = 1: q = 1 / 2
    fields.generateTSNEKernel(0.f, generated, 1.f);     // radius 0: the centre alone, no division by 0
    EXPECT_EQ(generated, (std::vector<float>{1.f, 0.f, 0.f, 0.f}));
}

// One point at the centre of pixel (20, 20): the field is the kernel around
// it, within the interpolation error of the 65 x 65 kernel texture, and zero
// outside its support square.
TEST_F(RasterFieldTest, FieldOfOnePointIsItsKernel) {
    const float px = pixelCentre(20), py = pixelCentre(20);
    init({px, py});
    const std::vector<float> field = render(1);
    EXPECT_NEAR(at(field, 20, 20)[0], 1.f, 1e-6f);
    float largest = 0;
    double worst = 0;
    for (unsigned int j = 0; j < kGrid; ++j)
        for (unsigned int i = 0; i < kGrid; ++i) {
            const float* f = at(field, i, j);
            largest = std::max(largest, f[0]);
            const double dx = pixelCentre(i) - px, dy = pixelCentre(j) - py;
            const double border = std::max(std::fabs(dx), std::fabs(dy)) - kSupport;
            if (border > 1e-3) {
                ASSERT_EQ(f[0], 0.f) << i << "," << j;
                ASSERT_EQ(f[1], 0.f);
                continue;
            }
            if (border > -1e-3) continue;  // a pixel centre on the square's edge is drawn or not by the fill rule
            const double q = 1.0 / (1.0 + dx * dx + dy * dy);
            worst = std::max({worst, std::fabs(f[0] - q), std::fabs(f[1] - dx * q * q), std::fabs(f[2] - dy * q * q)});
            EXPECT_EQ(f[3], 0.f);
        }
    EXPECT_EQ(largest, at(field, 20, 20)[0]);
    EXPECT_LT(worst, 0.02) << "field differs from the exact kernel";
}

// The field of several points is the sum of their single fields: points
// further apart than twice the support add nothing to each other's
// neighbourhood.
TEST_F(RasterFieldTest, FieldsOfPointsAdd) {
    const float y = pixelCentre(20);
    init({0.f, 0.f, 0.f, 0.f});
    const auto alone = [&](float x) {
        upload({x, y, 1000.f, 1000.f});
        return render(2);
    };
    for (const auto& [a, b] : {std::make_pair(5u, 34u), std::make_pair(18u, 22u)}) {  // 14.5 and 2 units apart
        upload({pixelCentre(a), y, pixelCentre(b), y});
        const std::vector<float> both = render(2), fa = alone(pixelCentre(a)), fb = alone(pixelCentre(b));
        for (std::size_t k = 0; k < both.size(); ++k) ASSERT_NEAR(both[k], fa[k] + fb[k], 1e-6f) << a << "," << b;
    }
}

TEST_F(RasterFieldTest, ReInitialisingAndCleaningFreeTheObjects) {
    init({0.f, 0.f});
    const GLuint kernel = fields.kernelTexture(), field = fields.fieldTexture(), fbo = fields.framebuffer();
    EXPECT_EQ(glIsTexture(kernel), GL_TRUE);
    fields.init(buffer, kSupport);
    // The old names are free again (OpenGL may hand them out anew).
    for (GLuint name : {kernel, field})
        if (name != fields.kernelTexture() && name != fields.fieldTexture()) {
            EXPECT_EQ(glIsTexture(name), GL_FALSE);
        }
    if (fbo != fields.framebuffer()) {
        EXPECT_EQ(glIsFramebuffer(fbo), GL_FALSE);
    }
    render(1);
    const GLuint last = fields.kernelTexture();
    fields.clean();
    EXPECT_EQ(glIsTexture(last), GL_FALSE);
    EXPECT_EQ(fields.fieldTexture(), 0u);
    fields.clean();
}
