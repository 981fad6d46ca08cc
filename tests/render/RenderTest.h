#pragma once

// Renderer fixture: a hidden OpenGL 4.1 core context, a framebuffer object
// drawn into and read back, a fresh data model per test, and an analysis that
// keeps the density clusters it is handed.

#include <epoxy/gl.h>

#include "data/FcsTestFile.h"
#include "render/ColormapAt.h"
#include "analysis/applicationSurfaceFormat.h"
#include "support/Pixels.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "render/MCV_PointRenderer.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace rendertest {

const QRgb kBackground = qRgb(252, 252, 252);
const QRgb kWhite = qRgb(255, 255, 255);

// RGB rows stored bottom-up, as the renderer's prints and frames are.
struct Image {
    std::vector<unsigned char> rgb;
    int width = 0;
    QRgb at(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return qRgb(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
};

// c drawn with `alpha` over `background`.
inline QRgb over(QRgb c, float alpha, QRgb background) {
    auto mix = [&](int a, int b) { return static_cast<int>(std::lround(alpha * a + (1.0f - alpha) * b)); };
    return qRgb(mix(qRed(c), qRed(background)), mix(qGreen(c), qGreen(background)), mix(qBlue(c), qBlue(background)));
}

// The matrix the scatter plot gives: [0, 1]^2 onto clip space, column-major.
inline std::vector<float> unitSquareMatrix() { return {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1}; }

// Keeps the clusters it is handed as the embedding analyses do: as a cluster
// set in the data model, with the point indices as its member lists.
class ClusterKeepingAnalysis : public MCV_Analysis {
public:
    explicit ClusterKeepingAnalysis(int type) { m_type = type; }

    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* members, std::string name) override {
        ++calls;
        lastMembers = *members;
        MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters(name + " - test", true);
        std::vector<MCV_DerivedDataClusters::PointList> pairs(members->size());
        for (size_t c = 0; c < members->size(); ++c)
            for (unsigned p : (*members)[c]) pairs[c].emplace_back(0, static_cast<int>(p));
        set->setClusters(std::move(pairs), nullptr, {}, members);
        return set;
    }

    int calls = 0;
    std::vector<std::vector<unsigned>> lastMembers;
};

class RenderTest : public ::testing::Test {
protected:
    // One context per suite, released before the application goes.
    static void TearDownTestSuite() {
        context.reset();
        surface.reset();
    }
    void SetUp() override {
        if (!context) {
            surface = std::make_unique<QOffscreenSurface>();
            surface->setFormat(applicationSurfaceFormat());
            surface->create();
            context = std::make_unique<QOpenGLContext>();
            context->setFormat(applicationSurfaceFormat());
            context->create();
        }
        ASSERT_TRUE(context->isValid() && context->makeCurrent(surface.get()) && context->format().majorVersion() >= 4);
        while (glGetError() != GL_NO_ERROR) {}
        delete MCV_CytometryData::Instance();
        MCV_CytometryData::Instance()->init(nullptr);
    }

    void TearDown() override {
        context->makeCurrent(surface.get());
        renderer.reset();
        framebuffer.reset();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        delete MCV_CytometryData::Instance();
    }

    // One FCS file per entry of `files` (events x variables named `names`).
    void loadFiles(const std::vector<std::vector<std::vector<float>>>& files, const std::vector<std::string>& names) {
        for (size_t i = 0; i < files.size(); ++i) {
            FcsTestFile f = FcsTestFile::floats(files[i]);
            for (size_t v = 0; v < names.size(); ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
            const std::string path = f.write(dir, "sample" + std::to_string(i + 1) + ".fcs");
            ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(path), 0);
        }
    }

    // A renderer drawing into a new width x height framebuffer, set up as the
    // scatter plot does.
    void makeRenderer(int width, int height) {
        framebuffer =
            std::make_unique<QOpenGLFramebufferObject>(width, height, QOpenGLFramebufferObject::CombinedDepthStencil);
        EXPECT_TRUE(framebuffer->isValid());
        renderer = std::make_unique<MCV_PointRenderer>();
        renderer->rebuild();
        renderer->resize(static_cast<unsigned>(width), static_cast<unsigned>(height), framebuffer->handle());
        std::vector<float> m = unitSquareMatrix();
        renderer->setupMatrix(m.data());
    }

    // Positions and markers must outlive the call.
    void setData(const std::vector<float>& xy, const std::vector<float>& values, int markers,
                 const std::vector<int>* files = nullptr) {
        positions = xy;
        markerValues = values;
        renderer->setLocalData(&positions, &markerValues, static_cast<int>(xy.size() / 2), markers, files, false);
    }

    Image drawAndRead() {
        renderer->draw(framebuffer->handle());
        Image image{std::vector<unsigned char>(static_cast<size_t>(framebuffer->width() * framebuffer->height() * 3)),
                    framebuffer->width()};
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer->handle());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, image.width, framebuffer->height(), GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
        return image;
    }
    QRgb drawnPixel(int x, int y) { return drawAndRead().at(x, y); }
    Image printed() {
        int width = 0, height = 0;
        return Image{renderer->print(width, height), width};
    }

    static inline std::unique_ptr<QOffscreenSurface> surface;
    static inline std::unique_ptr<QOpenGLContext> context;
    QTemporaryDir dir;
    std::unique_ptr<QOpenGLFramebufferObject> framebuffer;
    std::unique_ptr<MCV_PointRenderer> renderer;
    std::vector<float> positions;
    std::vector<float> markerValues;
};

}  // namespace rendertest
