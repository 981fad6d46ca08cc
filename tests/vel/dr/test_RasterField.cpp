#include <gtest/gtest.h>

#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/RasterFieldComputation.h"

namespace {
class RasterFieldTest : public veltest::GLTest {};
}  // namespace

// Texel (i, j) holds (q, x q^2, y q^2, 0) at offset x = (i - 32) / 32 x 6.5,
// y likewise; the CPU kernel of the same radius is the uploaded texture. The
// fields drawn from it are checked through the gradient they give.
TEST_F(RasterFieldTest, KernelTextureHoldsTheStudentTKernel) {
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
    fields.clean();
    fields.clean();  // repeatable
    glDeleteBuffers(1, &buffer);
}
