// Frame times of the point renderer for 100,000 and 1,000,000 points in points
// mode and in density mode, and the time of one density clustering at grids
// 128 and 512, next to baselines measured in the same run: a frame that only
// clears the view, one upload of the positions, and the mean-shift pass at
// grid 128 walking all 10,000 steps from every cell.
//
// Needs a display (run it under xvfb-run); prints the OpenGL renderer first.
//
//   bench_renderer [frames]

#include <epoxy/gl.h>

#include "analysis/MCV_Analysis.h"
#include "analysis/applicationSurfaceFormat.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/readTextFile.h"
#include "render/MCV_GLSLProgram.h"
#include "render/MCV_PointRenderer.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const int kView = 1024;

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Mean time of `runs` calls of `work`, each finished on the GPU.
double timed(int runs, const std::function<void()>& work) {
    glFinish();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        work();
        glFinish();
    }
    return seconds(t0) / runs;
}

// Keeps the density clusters in the data model, as the embedding analyses do.
class ClusterKeeper : public MCV_Analysis {
public:
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>* members, std::string name) override {
        clusters = members->size();
        MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters(name, true);
        std::vector<MCV_DerivedDataClusters::PointList> pairs(members->size());
        for (size_t c = 0; c < members->size(); ++c)
            for (unsigned p : (*members)[c]) pairs[c].emplace_back(0, static_cast<int>(p));
        set->setClusters(std::move(pairs), nullptr, {}, members);
        return set;
    }
    size_t clusters = 0;
};

// Twelve Gaussian blobs of different widths.
std::vector<float> blobs(int points) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> where(-40.0f, 40.0f), width(1.0f, 5.0f);
    std::vector<std::pair<float, float>> centres;
    std::vector<float> widths;
    for (int b = 0; b < 12; ++b) {
        centres.emplace_back(where(random), where(random));
        widths.push_back(width(random));
    }
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> xy(static_cast<size_t>(points) * 2);
    for (int p = 0; p < points; ++p) {
        const size_t b = static_cast<size_t>(p) % centres.size();
        xy[2 * static_cast<size_t>(p)] = centres[b].first + widths[b] * noise(random);
        xy[2 * static_cast<size_t>(p) + 1] = centres[b].second + widths[b] * noise(random);
    }
    return xy;
}

// The mean-shift pass at grid `g` over the renderer's field of three blobs,
// with the walk's early stop switched off: every walker takes all steps.
double fullLengthWalk(int g) {
    std::string source = readTextFile(":/shaders/glslProgramMeanShiftOffscreen_fragment.glsl").toStdString();
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"kLongestCycle = 8", "kLongestCycle = 0"},
                                   {"kStillSteps = 64", "kStillSteps = 100000"}}) {
        const size_t at = source.find(from);
        if (at == std::string::npos) return -1.0;
        source.replace(at, from.size(), to);
    }
    const std::string vertex = readTextFile(":/shaders/glslProgramBasicGL_vertex.glsl").toStdString();
    auto compile = [](GLenum type, const std::string& text) {
        const GLuint s = glCreateShader(type);
        const char* p = text.c_str();
        glShaderSource(s, 1, &p, nullptr);
        glCompileShader(s);
        return s;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex), fs = compile(GL_FRAGMENT_SHADER, source);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return -1.0;

    // A smooth field towards three maxima, like a density's gradient.
    const float maxima[3][2] = {{0.3f, 0.3f}, {0.7f, 0.35f}, {0.5f, 0.75f}};
    std::vector<float> field(static_cast<size_t>(g) * g * 3, 0.0f);
    for (int j = 0; j < g; ++j)
        for (int i = 0; i < g; ++i) {
            const float x = (i + 0.5f) / g, y = (j + 0.5f) / g;
            float gx = 0, gy = 0;
            for (const auto& m : maxima) {
                const float dx = m[0] - x, dy = m[1] - y, w = std::exp(-(dx * dx + dy * dy) / 0.01f);
                gx += dx * w;
                gy += dy * w;
            }
            field[static_cast<size_t>((j * g + i) * 3)] = gx;
            field[static_cast<size_t>((j * g + i) * 3 + 1)] = gy;
        }
    GLuint gradient = 0, target = 0, fbo = 0, vao = 0, quad = 0;
    glGenTextures(1, &gradient);
    glBindTexture(GL_TEXTURE_2D, gradient);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, g, g, 0, GL_RGB, GL_FLOAT, field.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, g, g, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    const float corners[8] = {0, 1, 0, 0, 1, 1, 1, 0};
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &quad);
    glBindBuffer(GL_ARRAY_BUFFER, quad);
    glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW);
    glUseProgram(program);
    const float m[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    glUniformMatrix4fv(glGetUniformLocation(program, "modelViewProjectionMatrix"), 1, GL_FALSE, m);
    glUniform4f(glGetUniformLocation(program, "renderParams"), 0.25f, 0.0f, 1.0f / g, 1.0f / g);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, gradient);
    glUniform1i(glGetUniformLocation(program, "gradientSampler"), 0);
    const GLint position = glGetAttribLocation(program, "position");
    glEnableVertexAttribArray(static_cast<GLuint>(position));
    glVertexAttribPointer(static_cast<GLuint>(position), 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glViewport(0, 0, g, g);
    glDisable(GL_BLEND);
    std::vector<float> ends(static_cast<size_t>(g) * g * 3);
    const double t = timed(1, [&] {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glReadPixels(0, 0, g, g, GL_RGB, GL_FLOAT, ends.data());
    });
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteBuffers(1, &quad);
    glDeleteVertexArrays(1, &vao);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    glDeleteTextures(1, &gradient);
    glDeleteTextures(1, &target);
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const QSurfaceFormat format = applicationSurfaceFormat();
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&surface)) {
        std::cerr << "no OpenGL context (run under xvfb-run)\n";
        return 1;
    }
    std::printf("OpenGL renderer: %s (%s)\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    GLuint fbo = 0, colour = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kView, kView);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);

    std::printf("\nbaseline: clear a %d x %d view: %.2f ms\n", kView, kView, 1000 * timed(frames, [&] {
                                                                                 glBindFramebuffer(GL_FRAMEBUFFER, fbo);
                                                                                 glClear(GL_COLOR_BUFFER_BIT);
                                                                             }));

    const float matrix[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    for (int points : {100000, 1000000}) {
        std::vector<float> xy = blobs(points);
        std::vector<float> markers(static_cast<size_t>(points));
        for (size_t p = 0; p < markers.size(); ++p) markers[p] = xy[2 * p];
        ClusterKeeper analysis;
        MCV_PointRenderer renderer;
        renderer.rebuild();
        renderer.resize(kView, kView, fbo);
        renderer.setupMatrix(const_cast<float*>(matrix));
        renderer.setLocalData(&analysis, 1);
        const double load = timed(1, [&] { renderer.setLocalData(&xy, &markers, points, 1, nullptr, false); });

        GLuint upload = 0;
        glGenBuffers(1, &upload);
        glBindBuffer(GL_ARRAY_BUFFER, upload);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(xy.size() * 4), nullptr, GL_DYNAMIC_DRAW);
        const double oneUpload = timed(frames, [&] {
            glBindBuffer(GL_ARRAY_BUFFER, upload);
            glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(xy.size() * 4), xy.data());
        });
        glDeleteBuffers(1, &upload);

        const double pointsFrame = timed(frames, [&] { renderer.draw(fbo); });
        const double pointsUpdate = timed(frames, [&] {
            renderer.copyLocalVertexData();
            renderer.draw(fbo);
        });
        renderer.setRenderMode(3);
        renderer.draw(fbo);
        const double densityFrame = timed(frames, [&] { renderer.draw(fbo); });
        const double densityUpdate = timed(frames, [&] {
            renderer.copyLocalVertexData();
            renderer.draw(fbo);
        });

        std::printf("\n%d points (setLocalData %.1f ms)\n", points, 1000 * load);
        std::printf("  baseline: one upload of the positions:       %8.2f ms\n", 1000 * oneUpload);
        std::printf("  points mode, frame:                          %8.2f ms\n", 1000 * pointsFrame);
        std::printf("  points mode, new positions + frame:          %8.2f ms\n", 1000 * pointsUpdate);
        std::printf("  density mode, frame:                         %8.2f ms\n", 1000 * densityFrame);
        std::printf("  density mode, new positions + frame:         %8.2f ms\n", 1000 * densityUpdate);

        if (points == 100000) {
            std::printf("  density clustering (density, gradient, mean shift, clusters):\n");
            for (int grid : {128, 512}) {
                renderer.setMsGrid(grid);
                renderer.draw(fbo);
                const double t = timed(1, [&] { renderer.clusterOnce(); });
                std::printf("    grid %3d: %8.1f ms, %zu clusters\n", grid, 1000 * t, analysis.clusters);
            }
        }
    }

    const double full = fullLengthWalk(128);
    if (full >= 0)
        std::printf("\nbaseline: mean-shift pass at grid 128 walking all 10,000 steps: %.1f ms\n", 1000 * full);
    else
        std::printf("\nbaseline: the full-length walk could not be built\n");

    glDeleteRenderbuffers(1, &colour);
    glDeleteFramebuffers(1, &fbo);
    delete MCV_CytometryData::Instance();
    return 0;
}
