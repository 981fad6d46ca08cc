// The video writer, checked by decoding every written file back with the
// FFmpeg libraries: container, frame count, size, timing and the pictures
// themselves against the frames handed in. Bad input and targets that cannot
// be written fail with 1, keep the process alive and leave the user's files
// and the writer's frames alone.
#include "render/MCV_VideoWriter.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<unsigned char>;

// Lossy coding moves a colour by a few levels; a wrong picture by far more.
constexpr int kTolerance = 40;
const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255);

void setPixel(Frame& f, int width, int x, int y, QRgb c) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    f[i] = static_cast<unsigned char>(qRed(c));
    f[i + 1] = static_cast<unsigned char>(qGreen(c));
    f[i + 2] = static_cast<unsigned char>(qBlue(c));
}

Frame solid(int width, int height, QRgb c) {
    Frame f(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) setPixel(f, width, x, y, c);
    return f;
}

std::vector<Frame> greyRamp(int count, int width, int height) {
    std::vector<Frame> frames;
    for (int k = 0; k < count; ++k) frames.push_back(solid(width, height, qRgb(30 + 6 * k, 30 + 6 * k, 30 + 6 * k)));
    return frames;
}

std::vector<Frame> noise(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Frame> frames(static_cast<std::size_t>(count), Frame(64 * 48 * 3));
    for (Frame& f : frames)
        for (auto& byte : f) byte = static_cast<unsigned char>(random() & 255);
    return frames;
}

// A written file as a player sees it.
struct Decoded {
    bool opened = false;
    std::string formatName;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVRational frameRate{0, 1};
    std::vector<double> seconds;  // of each frame, in display order
    std::vector<Frame> pictures;  // RGB24 at the decoded size

    QRgb at(std::size_t frame, int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        const Frame& p = pictures.at(frame);
        return qRgb(p[i], p[i + 1], p[i + 2]);
    }
};

// YUV 4:2:0 of limited range with BT.601 weights (what the converter writes
// by default) to RGB24, worked out here so that no library code checks itself.
Frame toRgb(const AVFrame* frame) {
    Frame rgb(static_cast<std::size_t>(frame->width) * frame->height * 3, 0);
    if (frame->format != AV_PIX_FMT_YUV420P) {
        ADD_FAILURE() << "decoded pixel format " << frame->format;
        return rgb;
    }
    const auto clamp = [](double v) {
        return static_cast<unsigned char>(std::lround(std::min(255.0, std::max(0.0, v))));
    };
    for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x) {
            const double l = 1.164 * (frame->data[0][y * frame->linesize[0] + x] - 16);
            const double u = frame->data[1][(y / 2) * frame->linesize[1] + x / 2] - 128;
            const double v = frame->data[2][(y / 2) * frame->linesize[2] + x / 2] - 128;
            unsigned char* p = &rgb[(static_cast<std::size_t>(y) * frame->width + x) * 3];
            p[0] = clamp(l + 1.596 * v);
            p[1] = clamp(l - 0.392 * u - 0.813 * v);
            p[2] = clamp(l + 2.017 * u);
        }
    }
    return rgb;
}

Decoded decode(const std::string& path) {
    Decoded out;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return out;
    if (avformat_find_stream_info(input, nullptr) < 0) {
        avformat_close_input(&input);
        return out;
    }
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder) {
        avformat_close_input(&input);
        return out;
    }
    AVStream* stream = input->streams[index];
    AVCodecContext* context = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(context, stream->codecpar);
    if (avcodec_open2(context, decoder, nullptr) < 0) {
        avcodec_free_context(&context);
        avformat_close_input(&input);
        return out;
    }
    out.opened = true;
    out.formatName = input->iformat->name;
    out.codec = stream->codecpar->codec_id;
    out.width = stream->codecpar->width;
    out.height = stream->codecpar->height;
    out.frameRate = stream->avg_frame_rate;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            out.seconds.push_back(static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream->time_base));
            out.pictures.push_back(toRgb(frame));
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(context, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    receive();

    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&input);
    return out;
}

class VideoWriterTest : public testing::Test {
protected:
    void SetUp() override {
        // The muxer's stream dump and the encoder's statistics are not under test.
        av_log_set_level(AV_LOG_ERROR);
        static int serial = 0;
        dir = fs::temp_directory_path() / ("qlmrn_video_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(dir, error);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Writes the frames (64 x 48 unless stated) and returns the result.
    int write(MCV_VideoWriter& writer, const std::string& name) {
        int result = -1;
        quietly([&] { result = writer.writeToFile(name.empty() || name[0] == '/' ? name : path(name)); });
        return result;
    }

    fs::path dir;
};

struct Timing {
    int frames, framerate;
};

class VideoWriterTimingTest : public VideoWriterTest, public testing::WithParamInterface<Timing> {};

TEST_P(VideoWriterTimingTest, FramesDecodeBackInOrderAtTheirTimes) {
    const Timing t = GetParam();
    MCV_VideoWriter writer;
    writer.setData(greyRamp(t.frames, 64, 48), 64, 48, 1024000, t.framerate);
    const std::string file = path("ramp.mp4");
    std::string printed = capturedStdout([&] { ASSERT_EQ(writer.writeToFile(file), 0); });
    EXPECT_EQ(printed, "\nRendering video consisting of " + std::to_string(t.frames) + " frames.");
    EXPECT_EQ(writer.frameCount(), 0);

    // An MP4 file ("ftyp" box first) holding the container's default codec.
    std::string start(8, '\0');
    std::ifstream(file, std::ios::binary).read(start.data(), 8);
    EXPECT_EQ(start.substr(4), "ftyp");
    const Decoded video = decode(file);
    ASSERT_TRUE(video.opened);
    EXPECT_NE(video.formatName.find("mp4"), std::string::npos) << video.formatName;
    EXPECT_EQ(video.codec, av_guess_format("mp4", nullptr, nullptr)->video_codec);
    EXPECT_EQ(video.width, 64);
    EXPECT_EQ(video.height, 48);
    EXPECT_EQ(video.frameRate.num, t.framerate);
    EXPECT_EQ(video.frameRate.den, 1);
    // Every frame, the last one held back by the encoder too.
    ASSERT_EQ(video.seconds.size(), static_cast<std::size_t>(t.frames));
    ASSERT_EQ(video.pictures.size(), static_cast<std::size_t>(t.frames));
    for (int k = 0; k < t.frames; ++k) {
        EXPECT_NEAR(video.seconds[k], static_cast<double>(k) / t.framerate, 1e-3) << "frame " << k;
        const int grey = 30 + 6 * k;
        EXPECT_TRUE(rgbNear(video.at(k, 32, 24), qRgb(grey, grey, grey), 8)) << "frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Timings, VideoWriterTimingTest, testing::Values(Timing{30, 25}, Timing{3, 1}, Timing{1, 25}));

TEST_F(VideoWriterTest, EdgesSurviveAnySizeAndOddSizesArePadded) {
    // Red inside, green last columns and blue last rows (bands of four, as
    // chroma is shared by pixel pairs): the first row is the top and the
    // first column the left. Odd sizes are coded one larger, the pad
    // repeating the last column and row.
    struct Size {
        int width, height, codedWidth, codedHeight;
    };
    for (const Size size : {Size{65, 47, 66, 48}, Size{70, 46, 70, 46}, Size{33, 18, 34, 18}, Size{1, 1, 2, 2}}) {
        const int w = size.width, h = size.height;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Frame frame = solid(w, h, w > 4 ? kRed : kGreen);
        for (int y = std::max(0, h - 4); y < h; ++y)
            for (int x = 0; x < w - 4; ++x) setPixel(frame, w, x, y, kBlue);
        for (int y = 0; y < h; ++y)
            for (int x = std::max(0, w - 4); x < w; ++x) setPixel(frame, w, x, y, kGreen);
        MCV_VideoWriter writer;
        writer.setData({frame, frame, frame}, w, h, 1024000, 25);
        ASSERT_EQ(write(writer, "edges.mp4"), 0);

        const Decoded video = decode(path("edges.mp4"));
        EXPECT_EQ(video.width, size.codedWidth);
        EXPECT_EQ(video.height, size.codedHeight);
        ASSERT_EQ(video.pictures.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_TRUE(w <= 4 || rgbNear(video.at(k, w / 2, h / 3), kRed, kTolerance));
            for (int x = std::max(0, w - 2); x < size.codedWidth; ++x)
                EXPECT_TRUE(rgbNear(video.at(k, x, h / 3), kGreen, kTolerance)) << x;
            for (int y = h - 2; w > 4 && y < size.codedHeight; ++y)
                EXPECT_TRUE(rgbNear(video.at(k, w / 2, y), kBlue, kTolerance)) << y;
            EXPECT_TRUE(rgbNear(video.at(k, size.codedWidth - 1, size.codedHeight - 1), kGreen, kTolerance));
        }
    }
}

TEST_F(VideoWriterTest, ASecondWriteFailsAndLeavesTheFirstFile) {
    MCV_VideoWriter empty;
    EXPECT_EQ(capturedStdout([&] { EXPECT_EQ(empty.writeToFile(path("empty.mp4")), 1); }), "");
    EXPECT_FALSE(fs::exists(path("empty.mp4")));

    MCV_VideoWriter writer;
    writer.setData(greyRamp(4, 64, 48), 64, 48, 1024000, 25);
    ASSERT_EQ(write(writer, "first.mp4"), 0);
    const auto size = fs::file_size(path("first.mp4"));
    EXPECT_EQ(write(writer, "first.mp4"), 1);
    EXPECT_EQ(write(writer, "second.mp4"), 1);
    EXPECT_EQ(fs::file_size(path("first.mp4")), size);
    EXPECT_EQ(decode(path("first.mp4")).pictures.size(), 4u);
    EXPECT_FALSE(fs::exists(path("second.mp4")));
}

struct BadInput {
    const char* what;
    int width, height, bitrate, framerate;
    std::size_t bytesPerFrame;  // 0: width x height x 3
    int shortFrame;             // index of a frame one byte short, or -1
};

class VideoWriterBadInputTest : public VideoWriterTest, public testing::WithParamInterface<BadInput> {};

TEST_P(VideoWriterBadInputTest, FailsBeforeAnythingIsWritten) {
    const BadInput& bad = GetParam();
    const std::size_t bytes = bad.bytesPerFrame
                                  ? bad.bytesPerFrame
                                  : static_cast<std::size_t>(std::max(bad.width, 0)) * std::max(bad.height, 0) * 3;
    std::vector<Frame> frames(3, Frame(bytes, 128));
    if (bad.shortFrame >= 0) frames[bad.shortFrame].pop_back();

    MCV_VideoWriter writer;
    writer.setData(frames, bad.width, bad.height, bad.bitrate, bad.framerate);
    testing::internal::CaptureStderr();
    EXPECT_EQ(capturedStdout([&] { EXPECT_EQ(writer.writeToFile(path("bad.mp4")), 1); }), "");
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(fs::exists(path("bad.mp4")));
    EXPECT_EQ(writer.frameCount(), 3);  // the frames stay with the writer
}

INSTANTIATE_TEST_SUITE_P(Inputs, VideoWriterBadInputTest,
                         testing::Values(BadInput{"zeroWidth", 0, 48, 1024000, 25, 16, -1},
                                         BadInput{"zeroHeight", 64, 0, 1024000, 25, 16, -1},
                                         BadInput{"negativeSize", -64, -48, 1024000, 25, 64 * 48 * 3, -1},
                                         BadInput{"hugeSize", INT_MAX, INT_MAX, 1024000, 25, 64 * 48 * 3, -1},
                                         BadInput{"lastFrameShort", 64, 48, 1024000, 25, 0, 2},
                                         BadInput{"firstFrameShort", 64, 48, 1024000, 25, 0, 0},
                                         BadInput{"framesTooLong", 64, 48, 1024000, 25, 64 * 48 * 3 + 3, -1},
                                         BadInput{"framesForAnotherSize", 48, 64, 1024000, 25, 64 * 49 * 3, -1},
                                         BadInput{"zeroFrameRate", 64, 48, 1024000, 0, 0, -1},
                                         BadInput{"negativeBitrate", 64, 48, -1, 25, 0, -1}),
                         [](const testing::TestParamInfo<BadInput>& p) { return std::string(p.param.what); });

// Targets that cannot take the file: the write fails with a reason, leaves
// nothing behind and keeps the frames for another try.
struct BadTarget {
    const char* what;
    std::function<std::string(const fs::path& dir)> target;
    bool limitFileSize;  // files of this process may grow to 4 KiB only
};

class VideoWriterBadTargetTest : public VideoWriterTest, public testing::WithParamInterface<BadTarget> {};

TEST_P(VideoWriterBadTargetTest, FailsReportsAndKeepsTheFrames) {
    const std::string target = GetParam().target(dir);
    MCV_VideoWriter writer;
    writer.setData(noise(30, 3), 64, 48, 1024000, 25);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 4096;
    // Beyond the limit a write fails; the signal that would end the process is ignored meanwhile.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, GetParam().limitFileSize ? &small : &previous), 0);
    testing::internal::CaptureStderr();
    const int result = write(writer, target);
    const std::string errors = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, 1);
    EXPECT_NE(errors, "");
    EXPECT_TRUE(target == "/dev/full" || !fs::exists(target));
    const bool missingFolder = target.find("/no/") != std::string::npos;
    EXPECT_TRUE(!missingFolder || errors.find("Could not open '" + target + "': ") != std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(dir / "no"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    ASSERT_EQ(writer.frameCount(), 30);
    ASSERT_EQ(write(writer, "retry.mp4"), 0);
    EXPECT_EQ(decode(path("retry.mp4")).pictures.size(), 30u);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, VideoWriterBadTargetTest,
    testing::Values(BadTarget{"missingFolder", [](const fs::path& d) { return (d / "no/such/clip.mp4").string(); },
                              false},
                    BadTarget{"deviceWithoutSpace", [](const fs::path&) { return std::string("/dev/full"); }, false},
                    BadTarget{"fullMidway", [](const fs::path& d) { return (d / "partial.mp4").string(); }, true}),
    [](const testing::TestParamInfo<BadTarget>& p) { return std::string(p.param.what); });

TEST_F(VideoWriterTest, ReplacesAnExistingFileAndTakesNamesWithAColon) {
    std::ofstream(path("old.mp4")) << "not a video";
    MCV_VideoWriter writer;
    writer.setData(greyRamp(3, 64, 48), 64, 48, 1024000, 25);
    ASSERT_EQ(write(writer, "old.mp4"), 0);
    EXPECT_EQ(decode(path("old.mp4")).pictures.size(), 3u);

    // A relative name whose part before the colon looks like a protocol.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    MCV_VideoWriter colon;
    colon.setData(greyRamp(2, 64, 48), 64, 48, 1024000, 25);
    int result = -1;
    quietly([&] { result = colon.writeToFile("clip:1.mp4"); });
    fs::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(decode("file:" + path("clip:1.mp4")).pictures.size(), 2u);
}

TEST_F(VideoWriterTest, BitrateIsInBitsPerSecond) {
    // One second of noise, which takes every bit it is given: 20000 bit/s is
    // 2500 bytes, 400000 bit/s 50000 bytes; the container adds about a kilobyte.
    std::vector<double> sizes;
    for (int bitrate : {20000, 400000}) {
        MCV_VideoWriter writer;
        writer.setData(noise(25, 7), 64, 48, bitrate, 25);
        EXPECT_EQ(write(writer, "noise.mp4"), 0);
        sizes.push_back(static_cast<double>(fs::file_size(path("noise.mp4"))));
    }
    EXPECT_LT(sizes[0], 2500 * 3 + 2000);
    EXPECT_GT(sizes[1], 50000 / 3);
    EXPECT_LT(sizes[1], 50000 * 3);
    EXPECT_LT(sizes[0] * 4, sizes[1]);
}

}  // namespace
