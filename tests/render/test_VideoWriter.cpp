// The video writer, checked by decoding every written file back with the
// FFmpeg libraries: container, frame count, size, timing and the pictures
// themselves against the frames handed in. Bad input and targets that cannot
// be written fail with 1, keep the process alive and leave the user's files
// and the writer's frames alone.
#include "render/MCV_VideoWriter.h"

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
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<unsigned char>;

struct Rgb {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// Lossy coding moves a colour by a few levels; a wrong picture moves it by
// far more.
constexpr int colourTolerance = 40;

bool near(const Rgb& a, const Rgb& b, int tolerance = colourTolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

const Rgb red{255, 0, 0};
const Rgb green{0, 255, 0};
const Rgb blue{0, 0, 255};

void setPixel(Frame& f, int width, int x, int y, Rgb c) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    f[i] = static_cast<unsigned char>(c.r);
    f[i + 1] = static_cast<unsigned char>(c.g);
    f[i + 2] = static_cast<unsigned char>(c.b);
}

Frame solid(int width, int height, Rgb c) {
    Frame f(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) setPixel(f, width, x, y, c);
    return f;
}

std::vector<Frame> greyRamp(int count, int width, int height) {
    std::vector<Frame> frames;
    for (int k = 0; k < count; ++k) frames.push_back(solid(width, height, {30 + 6 * k, 30 + 6 * k, 30 + 6 * k}));
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

    Rgb at(std::size_t frame, int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        const Frame& p = pictures.at(frame);
        return {p[i], p[i + 1], p[i + 2]};
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

std::string fileStart(const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string s(bytes, '\0');
    in.read(s.data(), static_cast<std::streamsize>(bytes));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
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

    fs::path dir;
};

TEST_F(VideoWriterTest, ThirtyFramesDecodeBackInOrderAtTwentyFivePerSecond) {
    MCV_VideoWriter writer;
    writer.setData(greyRamp(30, 64, 48), 64, 48, 1024000, 25);
    const std::string file = path("ramp.mp4");

    testing::internal::CaptureStdout();
    const int result = writer.writeToFile(file);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0);
    EXPECT_EQ(printed, "\nRendering video consisting of 30 frames.");
    EXPECT_EQ(writer.frameCount(), 0);

    // An MP4 file ("ftyp" box first) holding the container's default codec.
    EXPECT_EQ(fileStart(file, 8).substr(4), "ftyp");
    const Decoded video = decode(file);
    ASSERT_TRUE(video.opened);
    EXPECT_NE(video.formatName.find("mp4"), std::string::npos) << video.formatName;
    EXPECT_EQ(video.codec, av_guess_format("mp4", nullptr, nullptr)->video_codec);
    EXPECT_EQ(video.width, 64);
    EXPECT_EQ(video.height, 48);
    EXPECT_EQ(video.frameRate.num, 25);
    EXPECT_EQ(video.frameRate.den, 1);

    ASSERT_EQ(video.seconds.size(), 30u);
    ASSERT_EQ(video.pictures.size(), 30u);
    for (int k = 0; k < 30; ++k) {
        EXPECT_NEAR(video.seconds[k], k / 25.0, 1e-3) << "frame " << k;
        const int grey = 30 + 6 * k;
        EXPECT_TRUE(near(video.at(k, 32, 24), {grey, grey, grey}, 8)) << "frame " << k << ": " << video.at(k, 32, 24);
    }
}

TEST_F(VideoWriterTest, FrameRateSetsTheTimeOfEveryFrame) {
    {
        MCV_VideoWriter writer;
        writer.setData(greyRamp(3, 64, 48), 64, 48, 1024000, 1);
        testing::internal::CaptureStdout();
        ASSERT_EQ(writer.writeToFile(path("one_per_second.mp4")), 0);
        testing::internal::GetCapturedStdout();
        const Decoded video = decode(path("one_per_second.mp4"));
        ASSERT_EQ(video.seconds.size(), 3u);
        EXPECT_NEAR(video.seconds[0], 0.0, 1e-6);
        EXPECT_NEAR(video.seconds[1], 1.0, 1e-6);
        EXPECT_NEAR(video.seconds[2], 2.0, 1e-6);
        EXPECT_EQ(video.frameRate.num, 1);
        EXPECT_EQ(video.frameRate.den, 1);
    }
    {
        // One frame alone, which the encoder holds back until it is drained.
        MCV_VideoWriter writer;
        writer.setData({solid(64, 48, green)}, 64, 48, 1024000, 25);
        testing::internal::CaptureStdout();
        ASSERT_EQ(writer.writeToFile(path("single.mp4")), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nRendering video consisting of 1 frames.");
        const Decoded video = decode(path("single.mp4"));
        ASSERT_EQ(video.seconds.size(), 1u);
        EXPECT_NEAR(video.seconds[0], 0.0, 1e-6);
        EXPECT_TRUE(near(video.at(0, 32, 24), green)) << video.at(0, 32, 24);
    }
}

TEST_F(VideoWriterTest, FirstRowIsTheTopOfThePicture) {
    Frame frame = solid(64, 48, blue);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x) setPixel(frame, 64, x, y, red);
    // A green left third tells left from right.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 16; ++x) setPixel(frame, 64, x, y, green);
    MCV_VideoWriter writer;
    writer.setData({frame, frame}, 64, 48, 1024000, 25);
    testing::internal::CaptureStdout();
    ASSERT_EQ(writer.writeToFile(path("halves.mp4")), 0);
    testing::internal::GetCapturedStdout();

    const Decoded video = decode(path("halves.mp4"));
    ASSERT_EQ(video.pictures.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_TRUE(near(video.at(k, 48, 8), red)) << video.at(k, 48, 8);
        EXPECT_TRUE(near(video.at(k, 48, 40), blue)) << video.at(k, 48, 40);
        EXPECT_TRUE(near(video.at(k, 4, 8), green)) << video.at(k, 4, 8);
        EXPECT_TRUE(near(video.at(k, 4, 40), green)) << video.at(k, 4, 40);
    }
}

TEST_F(VideoWriterTest, EdgesSurviveAnySizeAndOddSizesArePadded) {
    // Red inside, green last columns and blue last rows (bands of four, as
    // chroma is shared by pixel pairs); odd sizes are coded one larger, the
    // pad repeating the last column and row.
    struct Size {
        int width, height, codedWidth, codedHeight;
    };
    for (const Size size : {Size{65, 47, 66, 48}, Size{70, 46, 70, 46}, Size{33, 18, 34, 18}}) {
        const int w = size.width, h = size.height;
        Frame frame = solid(w, h, red);
        for (int y = h - 4; y < h; ++y)
            for (int x = 0; x < w - 4; ++x) setPixel(frame, w, x, y, blue);
        for (int y = 0; y < h; ++y)
            for (int x = w - 4; x < w; ++x) setPixel(frame, w, x, y, green);
        MCV_VideoWriter writer;
        writer.setData({frame, frame, frame}, w, h, 1024000, 25);
        const std::string file = path("edges_" + std::to_string(w) + "x" + std::to_string(h) + ".mp4");
        testing::internal::CaptureStdout();
        ASSERT_EQ(writer.writeToFile(file), 0);
        testing::internal::GetCapturedStdout();

        const Decoded video = decode(file);
        ASSERT_TRUE(video.opened);
        EXPECT_EQ(video.width, size.codedWidth);
        EXPECT_EQ(video.height, size.codedHeight);
        ASSERT_EQ(video.pictures.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " frame " + std::to_string(k));
            EXPECT_TRUE(near(video.at(k, w / 2, h / 3), red)) << video.at(k, w / 2, h / 3);
            for (int x = w - 2; x < size.codedWidth; ++x)
                EXPECT_TRUE(near(video.at(k, x, h / 3), green)) << x << ": " << video.at(k, x, h / 3);
            for (int y = h - 2; y < size.codedHeight; ++y)
                EXPECT_TRUE(near(video.at(k, w / 2, y), blue)) << y << ": " << video.at(k, w / 2, y);
            EXPECT_TRUE(near(video.at(k, size.codedWidth - 1, size.codedHeight - 1), green))
                << video.at(k, size.codedWidth - 1, size.codedHeight - 1);
        }
    }

    // The smallest odd size.
    MCV_VideoWriter tiny;
    tiny.setData({solid(1, 1, blue)}, 1, 1, 1024000, 25);
    testing::internal::CaptureStdout();
    ASSERT_EQ(tiny.writeToFile(path("tiny.mp4")), 0);
    testing::internal::GetCapturedStdout();
    const Decoded decoded = decode(path("tiny.mp4"));
    ASSERT_EQ(decoded.pictures.size(), 1u);
    EXPECT_EQ(decoded.width, 2);
    EXPECT_EQ(decoded.height, 2);
    EXPECT_TRUE(near(decoded.at(0, 1, 1), blue)) << decoded.at(0, 1, 1);
}

TEST_F(VideoWriterTest, NothingToWriteFails) {
    MCV_VideoWriter empty;
    testing::internal::CaptureStdout();
    EXPECT_EQ(empty.writeToFile(path("empty.mp4")), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(fs::exists(path("empty.mp4")));

    // A second write of the same writer: its frames are gone, the first file
    // stays as it was.
    MCV_VideoWriter writer;
    writer.setData(greyRamp(4, 64, 48), 64, 48, 1024000, 25);
    testing::internal::CaptureStdout();
    ASSERT_EQ(writer.writeToFile(path("first.mp4")), 0);
    const auto size = fs::file_size(path("first.mp4"));
    EXPECT_EQ(writer.writeToFile(path("first.mp4")), 1);
    EXPECT_EQ(writer.writeToFile(path("second.mp4")), 1);
    testing::internal::GetCapturedStdout();
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
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(writer.writeToFile(path("bad.mp4")), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(fs::exists(path("bad.mp4")));
    // The frames stay with the writer.
    EXPECT_EQ(writer.frameCount(), 3);
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
                         [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.what); });

TEST_F(VideoWriterTest, UnopenableTargetFailsAndKeepsTheFramesForAnotherTry) {
    MCV_VideoWriter writer;
    writer.setData(greyRamp(5, 64, 48), 64, 48, 1024000, 25);
    const std::string missing = path("no/such/folder/clip.mp4");

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(writer.writeToFile(missing), 1);
    testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Could not open '" + missing + "': "), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(path("no")));
    EXPECT_EQ(writer.frameCount(), 5);

    testing::internal::CaptureStdout();
    ASSERT_EQ(writer.writeToFile(path("clip.mp4")), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(decode(path("clip.mp4")).pictures.size(), 5u);
}

TEST_F(VideoWriterTest, FailedWriteReportsAndRemovesOnlyItsOwnFile) {
    // A device that takes no bytes: the write fails while the file is open.
    const std::string full = "/dev/full";
    if (!fs::exists(full)) GTEST_SKIP() << "no " << full;
    MCV_VideoWriter writer;
    writer.setData(greyRamp(5, 64, 48), 64, 48, 1024000, 25);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(writer.writeToFile(full), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(fs::is_character_file(full));
    EXPECT_EQ(writer.frameCount(), 5);
}

TEST_F(VideoWriterTest, WriteFailingMidwayLeavesNoPartialFile) {
    // Files of this process may grow to 4 KiB only; beyond that a write fails
    // (the signal that would end the process is ignored meanwhile).
    std::mt19937 random(3);
    std::vector<Frame> noise;
    for (int k = 0; k < 30; ++k) {
        Frame f(64 * 48 * 3);
        for (auto& byte : f) byte = static_cast<unsigned char>(random() & 255);
        noise.push_back(std::move(f));
    }
    MCV_VideoWriter writer;
    writer.setData(noise, 64, 48, 1024000, 25);

    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = writer.writeToFile(path("partial.mp4"));
    testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, 1);
    EXPECT_NE(errors, "");
    EXPECT_FALSE(fs::exists(path("partial.mp4")));
    EXPECT_EQ(writer.frameCount(), 30);
}

TEST_F(VideoWriterTest, ReplacesAnExistingFileAndTakesNamesWithAColon) {
    const std::string file = path("old.mp4");
    std::ofstream(file) << "not a video";
    MCV_VideoWriter writer;
    writer.setData(greyRamp(3, 64, 48), 64, 48, 1024000, 25);
    testing::internal::CaptureStdout();
    ASSERT_EQ(writer.writeToFile(file), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(decode(file).pictures.size(), 3u);

    // A relative name whose part before the colon looks like a protocol.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    MCV_VideoWriter colon;
    colon.setData(greyRamp(2, 64, 48), 64, 48, 1024000, 25);
    testing::internal::CaptureStdout();
    const int result = colon.writeToFile("clip:1.mp4");
    testing::internal::GetCapturedStdout();
    fs::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(decode("file:" + path("clip:1.mp4")).pictures.size(), 2u);
}

TEST_F(VideoWriterTest, BitrateIsInBitsPerSecond) {
    // One second of noise, which takes every bit it is given.
    std::mt19937 random(7);
    std::vector<Frame> noise;
    for (int k = 0; k < 25; ++k) {
        Frame f(64 * 48 * 3);
        for (auto& byte : f) byte = static_cast<unsigned char>(random() & 255);
        noise.push_back(std::move(f));
    }
    const auto write = [&](int bitrate, const std::string& name) {
        MCV_VideoWriter writer;
        writer.setData(noise, 64, 48, bitrate, 25);
        testing::internal::CaptureStdout();
        EXPECT_EQ(writer.writeToFile(path(name)), 0);
        testing::internal::GetCapturedStdout();
        return static_cast<double>(fs::file_size(path(name)));
    };
    const double low = write(20000, "low.mp4");
    const double high = write(400000, "high.mp4");
    // 20000 bit/s for one second is 2500 bytes, 400000 bit/s 50000 bytes;
    // the container adds about a kilobyte.
    EXPECT_LT(low, 2500 * 3 + 2000);
    EXPECT_GT(high, 50000 / 3);
    EXPECT_LT(high, 50000 * 3);
    EXPECT_LT(low * 4, high);
}

}  // namespace
