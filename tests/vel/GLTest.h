#pragma once
// Fixture of the GPU tests: one real OpenGL context per test suite, current
// for every test of the suite. A test fails (not skips) without one: the
// suite runs under Xvfb with Mesa, which always provides it.

#include <gtest/gtest.h>

#include <memory>

#include "HeadlessGLContext.h"

namespace veltest {

class GLTest : public testing::Test {
protected:
    static void SetUpTestSuite() { context() = std::make_unique<HeadlessGLContext>(); }
    static void TearDownTestSuite() { context().reset(); }
    void SetUp() override {
        ASSERT_TRUE(context() && context()->valid()) << "no OpenGL context: " << (context() ? context()->error() : "");
        ASSERT_TRUE(context()->makeCurrent());
        while (glGetError() != GL_NO_ERROR) {}
    }
    void TearDown() override {
        if (context() && context()->valid()) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
    }
    static std::unique_ptr<HeadlessGLContext>& context() {
        static std::unique_ptr<HeadlessGLContext> instance;
        return instance;
    }
};

}  // namespace veltest
