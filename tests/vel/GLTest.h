#pragma once
// One real OpenGL context per suite; without one a test fails, not skips.

#include <gtest/gtest.h>

#include <memory>

#include "HeadlessGLContext.h"

namespace veltest {

class GLTest : public testing::Test {
protected:
    static void SetUpTestSuite() { context() = std::make_unique<HeadlessGLContext>(); }
    static void TearDownTestSuite() { context().reset(); }
    void SetUp() override {
        ASSERT_TRUE(context()->valid()) << "no OpenGL context: " << context()->error();
        ASSERT_TRUE(context()->makeCurrent());
        while (glGetError() != GL_NO_ERROR) {}
    }
    void TearDown() override { EXPECT_TRUE(!context()->valid() || glGetError() == GL_NO_ERROR); }
    static std::unique_ptr<HeadlessGLContext>& context() {
        static std::unique_ptr<HeadlessGLContext> instance;
        return instance;
    }
};

}  // namespace veltest
