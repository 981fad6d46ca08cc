#pragma once

// Fixture of the renderer tests: a hidden OpenGL 4.1 core context (Qt, under
// Xvfb with Mesa), a colour framebuffer object the renderer draws into and
// whose pixels are read back, a fresh data model per test, and an analysis
// that keeps the density clusters it is handed in a real cluster set.

#include <epoxy/gl.h>

#include "data/FcsTestFile.h"
#include "analysis/applicationSurfaceFormat.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "render/MCV_PointRenderer.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rendertest {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

inline bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// "#RRGGBB"
inline Rgb hex(const std::string& h) {
    const unsigned v = static_cast<unsigned>(std::stoul(h.substr(1), nullptr, 16));
    return {static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255), static_cast<int>(v & 255)};
}

// c drawn with `alpha` over `background` (0 to 255 each).
inline Rgb over(const Rgb& c, float alpha, const Rgb& background) {
    auto mix = [&](int a, int b) { return static_cast<int>(std::lround(alpha * a + (1.0f - alpha) * b)); };
    return {mix(c.r, background.r), mix(c.g, background.g), mix(c.b, background.b)};
}

inline int colormapIndex(const std::string& name) {
    const std::vector<std::string>& names = MCV_ColormapTable::names(1);
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
}

// The colour a 1D colormap texture gives at t with linear filtering.
inline Rgb colormapAt(const std::string& name, float t) {
    const MCV_ColormapTable::Image& map = MCV_ColormapTable::image(colormapIndex(name), 1);
    const std::vector<unsigned char>& table = map.rgb;
    const int width = map.width;
    const float u = std::clamp(t * static_cast<float>(width) - 0.5f, 0.0f, static_cast<float>(width - 1));
    const int i0 = static_cast<int>(std::floor(u));
    const int i1 = std::min(i0 + 1, width - 1);
    const float f = u - static_cast<float>(i0);
    auto channel = [&](int c) {
        return static_cast<int>(
            std::lround((1 - f) * table[static_cast<size_t>(3 * i0 + c)] + f * table[static_cast<size_t>(3 * i1 + c)]));
    };
    return {channel(0), channel(1), channel(2)};
}

const Rgb kBackground{252, 252, 252};
const Rgb kWhite{255, 255, 255};

// The matrix the scatter plot gives: [0, 1]^2 onto clip space, column-major.
inline std::vector<float> unitSquareMatrix() { return {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1}; }

// An RGBA8 colour framebuffer with a depth buffer.
class Framebuffer {
public:
    Framebuffer(int width, int height) : m_width(width), m_height(height) {
        glGenFramebuffers(1, &m_id);
        glBindFramebuffer(GL_FRAMEBUFFER, m_id);
        glGenRenderbuffers(1, &m_colour);
        glBindRenderbuffer(GL_RENDERBUFFER, m_colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colour);
        glGenRenderbuffers(1, &m_depth);
        glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depth);
        m_complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    ~Framebuffer() {
        glDeleteRenderbuffers(1, &m_colour);
        glDeleteRenderbuffers(1, &m_depth);
        glDeleteFramebuffers(1, &m_id);
    }
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    unsigned id() const { return m_id; }
    bool complete() const { return m_complete; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // All pixels, rows from the bottom up, RGB.
    std::vector<unsigned char> read() const {
        std::vector<unsigned char> rgb(static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 3);
        glBindFramebuffer(GL_FRAMEBUFFER, m_id);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, m_width, m_height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }

private:
    GLuint m_id = 0, m_colour = 0, m_depth = 0;
    int m_width, m_height;
    bool m_complete = false;
};

// Pixel (x, y) of RGB rows stored bottom-up.
inline Rgb pixelAt(const std::vector<unsigned char>& rgb, int width, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

// Keeps the clusters it is handed the way the embedding analyses do: as a
// cluster set in the data model, with the point indices as its member lists.
class ClusterKeepingAnalysis : public MCV_Analysis {
public:
    explicit ClusterKeepingAnalysis(int type) { m_type = type; }

    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* members, std::string name) override {
        ++calls;
        lastName = name;
        lastMembers = *members;
        MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters(name + " - test", true);
        std::vector<MCV_DerivedDataClusters::PointList> pairs(members->size());
        for (size_t c = 0; c < members->size(); ++c)
            for (unsigned p : (*members)[c]) pairs[c].emplace_back(0, static_cast<int>(p));
        set->setClusters(std::move(pairs), nullptr, {}, members);
        return set;
    }

    int calls = 0;
    std::string lastName;
    std::vector<std::vector<unsigned>> lastMembers;
};

class RenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const QSurfaceFormat format = applicationSurfaceFormat();
        surface() = std::make_unique<QOffscreenSurface>();
        surface()->setFormat(format);
        surface()->create();
        context() = std::make_unique<QOpenGLContext>();
        context()->setFormat(format);
        context()->create();
    }
    static void TearDownTestSuite() {
        if (context()) context()->doneCurrent();
        context().reset();
        surface().reset();
    }

    void SetUp() override {
        ASSERT_TRUE(context() && context()->isValid()) << "no OpenGL context";
        ASSERT_TRUE(context()->makeCurrent(surface().get()));
        ASSERT_GE(context()->format().majorVersion(), 4);
        while (glGetError() != GL_NO_ERROR) {}
        delete MCV_CytometryData::Instance();
        MCV_CytometryData::Instance()->init(nullptr);
    }

    void TearDown() override {
        context()->makeCurrent(surface().get());
        renderer.reset();
        framebuffer.reset();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        delete MCV_CytometryData::Instance();
    }

    // Loads one FCS file per entry of `rows` (events x variables named `names`).
    void loadFiles(const std::vector<std::vector<std::vector<float>>>& files, const std::vector<std::string>& names) {
        ASSERT_TRUE(dir.isValid());
        for (size_t i = 0; i < files.size(); ++i) {
            FcsTestFile f = FcsTestFile::floats(files[i]);
            for (size_t v = 0; v < names.size(); ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
            const std::string path = f.write(dir, "sample" + std::to_string(i + 1) + ".fcs");
            ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(path), 0);
        }
    }
    // `count` sample files of one event with one variable.
    void loadSampleFiles(int count) {
        loadFiles(std::vector<std::vector<std::vector<float>>>(static_cast<size_t>(count), {{1.0f}}), {"M"});
    }

    // A renderer drawing into a new width x height framebuffer, rebuilt as the
    // scatter plot does after context initialisation.
    MCV_PointRenderer& makeRenderer(int width, int height) {
        framebuffer = std::make_unique<Framebuffer>(width, height);
        EXPECT_TRUE(framebuffer->complete());
        renderer = std::make_unique<MCV_PointRenderer>();
        renderer->rebuild();
        renderer->resize(static_cast<unsigned>(width), static_cast<unsigned>(height), framebuffer->id());
        std::vector<float> m = unitSquareMatrix();
        renderer->setupMatrix(m.data());
        return *renderer;
    }

    // Hands the renderer positions and markers that must outlive the call.
    void setData(const std::vector<float>& xy, const std::vector<float>& values, int markers,
                 const std::vector<int>* files = nullptr) {
        positions = xy;
        markerValues = values;
        renderer->setLocalData(&positions, &markerValues, static_cast<int>(xy.size() / 2), markers, files, false);
    }

    std::vector<unsigned char> drawAndRead() {
        renderer->draw(framebuffer->id());
        return framebuffer->read();
    }

    Rgb drawnPixel(int x, int y) { return pixelAt(drawAndRead(), framebuffer->width(), x, y); }

    static std::unique_ptr<QOffscreenSurface>& surface() {
        static std::unique_ptr<QOffscreenSurface> s;
        return s;
    }
    static std::unique_ptr<QOpenGLContext>& context() {
        static std::unique_ptr<QOpenGLContext> c;
        return c;
    }

    QTemporaryDir dir;
    std::unique_ptr<Framebuffer> framebuffer;
    std::unique_ptr<MCV_PointRenderer> renderer;
    std::vector<float> positions;
    std::vector<float> markerValues;
};

}  // namespace rendertest
