#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/RasterFieldComputation.h"

namespace {

// One point at the centre of pixel (20, 20) of the field over -10..10 on a
// 40 x 40 grid: two pixels per unit, pixel k centred at -10 + (k + 0.5) / 2.
constexpr float kSupport = 6.5f;
constexpr unsigned int kGrid = 40;
float pixelCentre(unsigned int k) { return -10.f + (static_cast<float>(k) + 0.5f) / 2.f; }

class RasterFieldTest : public veltest::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        const float point[2] = {pixelCentre(20), pixelCentre(20)};
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof(point), point, GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        fields.init(buffer, kSupport);
    }
    void TearDown() override {
        fields.clean();
        glDeleteBuffers(1, &buffer);
        GLTest::TearDown();
    }

    vel::dr::RasterFieldComputation fields;
    GLuint buffer = 0;
};

}  // namespace

// Texel (i, j) holds (q, x q^2, y q^2, 0) at offset x = (i - 32) / 32 x 6.5,
// y likewise; the CPU kernel of the same radius is the uploaded texture.
TEST_F(RasterFieldTest, KernelTextureHoldsTheStudentTKernel) {
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
    fields.generateTSNEKernel(0.f, generated, 1.f);  // radius 0: the centre alone, no division by 0
    EXPECT_EQ(generated, (std::vector<float>{1.f, 0.f, 0.f, 0.f}));
}

// The field is the point's kernel, within the interpolation error of the
// 65 x 65 kernel texture, and zero outside its support square.
TEST_F(RasterFieldTest, FieldOfOnePointIsItsKernel) {
    fields.compute(kGrid, kGrid, kSupport, 1, -10.f, 10.f, -10.f, 10.f);
    std::vector<float> field(kGrid * kGrid * 4);  // RGBA rows bottom-up, from the framebuffer compute() leaves bound
    glReadPixels(0, 0, kGrid, kGrid, GL_RGBA, GL_FLOAT, field.data());
    EXPECT_NEAR(field[(20 * kGrid + 20) * 4], 1.f, 1e-6f);
    double worst = 0;
    for (unsigned int j = 0; j < kGrid; ++j)
        for (unsigned int i = 0; i < kGrid; ++i) {
            const float* f = &field[(j * kGrid + i) * 4];
            const double dx = pixelCentre(i) - pixelCentre(20), dy = pixelCentre(j) - pixelCentre(20);
            const double border = std::max(std::fabs(dx), std::fabs(dy)) - kSupport;
            if (border > 1e-3) {
                ASSERT_TRUE(f[0] == 0.f && f[1] == 0.f) << i << "," << j;
                continue;
            }
            if (border > -1e-3) continue;  // a pixel centre on the square's edge is drawn or not by the fill rule
            const double q = 1.0 / (1.0 + dx * dx + dy * dy);
            worst = std::max({worst, std::fabs(f[0] - q), std::fabs(f[1] - dx * q * q), std::fabs(f[2] - dy * q * q)});
            EXPECT_EQ(f[3], 0.f);
        }
    EXPECT_LT(worst, 0.02) << "field differs from the exact kernel";
}
