// The video writer, checked by decoding the files back. Bad input and targets
// that cannot be written fail with 1 and leave files and frames alone.
#include "render/MCV_VideoWriter.h"
#include "support/CapturedOutput.h"
#include "support/PipeWatchdog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<unsigned char>;

std::vector<Frame> greyRamp(int count) {
    std::vector<Frame> frames;
    for (int k = 0; k < count; ++k) frames.emplace_back(64 * 48 * 3, static_cast<unsigned char>(30 + 6 * k));
    return frames;
}

std::vector<Frame> noise(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Frame> frames(static_cast<std::size_t>(count), Frame(64 * 48 * 3));
    for (Frame& f : frames)
        for (auto& byte : f) byte = static_cast<unsigned char>(random() & 255);
    return frames;
}

// A written file as a player sees it: size, time and middle luma of each frame.
struct Decoded {
    int width = 0, height = 0;
    std::vector<double> seconds;
    std::vector<int> luma;
};

Decoded decode(const std::string& path) {
    Decoded out;
    AVFormatContext* input = nullptr;
    const AVCodec* decoder = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return out;
    const int index = avformat_find_stream_info(input, nullptr) < 0
                          ? -1
                          : av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* context = index < 0 ? nullptr : avcodec_alloc_context3(decoder);
    if (context && avcodec_parameters_to_context(context, input->streams[index]->codecpar) >= 0 &&
        avcodec_open2(context, decoder, nullptr) >= 0) {
        const AVStream* stream = input->streams[index];
        out.width = stream->codecpar->width;
        out.height = stream->codecpar->height;
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto receive = [&] {
            for (; avcodec_receive_frame(context, frame) == 0; av_frame_unref(frame)) {
                out.seconds.push_back(static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream->time_base));
                EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
                out.luma.push_back(frame->data[0][(frame->height / 2) * frame->linesize[0] + frame->width / 2]);
            }
        };
        for (; av_read_frame(input, packet) >= 0; av_packet_unref(packet))
            if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0) receive();
        avcodec_send_packet(context, nullptr);
        receive();
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&input);
    return out;
}

class VideoWriterTest : public testing::Test {
protected:
    void SetUp() override { av_log_set_level(AV_LOG_ERROR); }  // the muxer's stream dump is not under test
    std::string path(const std::string& name) const { return (fs::path(temp.path().toStdString()) / name).string(); }
    int write(MCV_VideoWriter& writer, const std::string& name) {
        int result = -1;
        quietly([&] { result = writer.writeToFile(name[0] == '/' ? name : path(name)); });
        return result;
    }
    QTemporaryDir temp;
};

TEST_F(VideoWriterTest, FramesDecodeBackInOrderAtTheirTimes) {
    const std::pair<int, int> timings[] = {{30, 25}, {3, 1}, {1, 25}};
    for (auto [frames, framerate] : timings) {
        MCV_VideoWriter writer;
        writer.setData(greyRamp(frames), 64, 48, 1024000, framerate);
        const std::string file = path("ramp.mp4");
        ASSERT_EQ(write(writer, "ramp.mp4"), 0);
        std::string start(8, '\0');
        std::ifstream(file, std::ios::binary).read(start.data(), 8);
        EXPECT_EQ(start.substr(4), "ftyp");  // an MP4 file
        const Decoded video = decode(file);
        EXPECT_EQ(std::make_pair(video.width, video.height), std::make_pair(64, 48));
        // Every frame, the last one held back by the encoder too.
        ASSERT_EQ(video.seconds.size(), static_cast<std::size_t>(frames));
        for (int k = 0; k < frames; ++k) {
            EXPECT_NEAR(video.seconds[k], static_cast<double>(k) / framerate, 1e-3) << k;
            // Limited range: grey g has luma 16 + 219 g / 255.
            EXPECT_NEAR(video.luma[k], 16 + 219 * (30 + 6 * k) / 255.0, 6) << k;
        }
    }
}

TEST_F(VideoWriterTest, BadInputFailsBeforeAnythingIsWritten) {
    // Width, height, bit rate, frame rate, bytes a frame (0: width x height x 3)
    // and the index of a frame one byte short (-1: none).
    const int cases[][6] = {
        {0, 48, 1024000, 25, 16, -1},      {64, 0, 1024000, 25, 16, -1},
        {-64, -48, 1024000, 25, 9216, -1}, {INT_MAX, INT_MAX, 1024000, 25, 9216, -1},
        {64, 48, 1024000, 25, 0, 2},       {64, 48, 1024000, 25, 0, 0},
        {64, 48, 1024000, 25, 9219, -1},   {48, 64, 1024000, 25, 64 * 49 * 3, -1},
        {64, 48, 1024000, 0, 0, -1},       {64, 48, -1, 25, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]) + "x" + std::to_string(c[1]) + " " + std::to_string(c[4]));
        std::vector<Frame> frames(3, Frame(c[4] ? static_cast<std::size_t>(c[4]) : 9216u, 128));
        if (c[5] >= 0) frames[static_cast<std::size_t>(c[5])].pop_back();
        MCV_VideoWriter writer;
        writer.setData(frames, c[0], c[1], c[2], c[3]);
        testing::internal::CaptureStderr();
        EXPECT_EQ(capturedStdout([&] { EXPECT_EQ(writer.writeToFile(path("bad.mp4")), 1); }), "");
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(fs::exists(path("bad.mp4")));
        EXPECT_EQ(writer.frameCount(), 3);  // the frames stay with the writer
    }
}

// Targets that cannot take the file: the write fails with a reason, leaves
// nothing behind and keeps the frames for another try.
TEST_F(VideoWriterTest, BadTargetsFailReportAndKeepTheFrames) {
    // A named pipe without a reader: opened, it would hold the write for ever.
    const std::string pipe = path("pipe.mp4");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<std::string, bool> targets[] = {
        {path("no/such/clip.mp4"), false},
        {"/dev/full", false},
        {path("partial.mp4"), true},  // files of this process may grow to 4 KiB only
        {pipe, false},
    };
    for (const auto& [target, limitFileSize] : targets) {
        SCOPED_TRACE(target);
        MCV_VideoWriter writer;
        writer.setData(noise(30, 3), 64, 48, 1024000, 25);
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 4096;
        // Beyond the limit a write fails; the signal that would end the process is ignored meanwhile.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, limitFileSize ? &small : &previous), 0);
        testing::internal::CaptureStderr();
        int result = -1;
        size_t throughPipe = 0;
        {
            PipeWatchdog watchdog(pipe);
            result = write(writer, target);
            throughPipe = watchdog.bytesRead();
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        EXPECT_EQ(result, 1);
        EXPECT_NE(errors, "");
        EXPECT_EQ(throughPipe, 0u);
        EXPECT_TRUE(target == "/dev/full" || target == pipe || !fs::exists(target));
        EXPECT_TRUE(target.find("/no/") == std::string::npos ||
                    errors.find("Could not open '" + target + "': ") != std::string::npos)
            << errors;
        EXPECT_TRUE(target != pipe || errors.find("Could not open '" + pipe +
                                                  "': it is a named pipe, not a regular file.\n") != std::string::npos)
            << errors;
        EXPECT_TRUE(fs::is_fifo(pipe));
        EXPECT_FALSE(fs::exists(path("no")));
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
        ASSERT_EQ(writer.frameCount(), 30);
        ASSERT_EQ(write(writer, "retry.mp4"), 0);
        EXPECT_EQ(decode(path("retry.mp4")).luma.size(), 30u);
    }
}

TEST_F(VideoWriterTest, AWriteReplacesAFileAndASecondWriteFailsLeavingIt) {
    MCV_VideoWriter empty;
    EXPECT_EQ(capturedStdout([&] { EXPECT_EQ(empty.writeToFile(path("empty.mp4")), 1); }), "");
    EXPECT_FALSE(fs::exists(path("empty.mp4")));
    std::ofstream(path("first.mp4")) << "not a video";
    MCV_VideoWriter writer;
    writer.setData(greyRamp(4), 64, 48, 1024000, 25);
    ASSERT_EQ(write(writer, "first.mp4"), 0);
    const auto size = fs::file_size(path("first.mp4"));
    EXPECT_EQ(write(writer, "first.mp4"), 1);
    EXPECT_EQ(write(writer, "second.mp4"), 1);
    EXPECT_EQ(fs::file_size(path("first.mp4")), size);
    EXPECT_EQ(decode(path("first.mp4")).luma.size(), 4u);
    EXPECT_FALSE(fs::exists(path("second.mp4")));
    // A relative name whose part before the colon looks like a protocol.
    const fs::path previous = fs::current_path();
    fs::current_path(temp.path().toStdString());
    MCV_VideoWriter colon;
    colon.setData(greyRamp(2), 64, 48, 1024000, 25);
    int result = -1;
    quietly([&] { result = colon.writeToFile("clip:1.mp4"); });
    fs::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(decode("file:" + path("clip:1.mp4")).luma.size(), 2u);
}

}  // namespace
