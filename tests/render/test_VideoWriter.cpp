// The video writer, checked by decoding the files back. Bad input and targets
// that cannot be written fail with 1 and leave files and frames alone.
#include "render/MCV_VideoWriter.h"
#include "support/CapturedOutput.h"
#include "support/FolderSnapshot.h"
#include "support/LeftOverTemporaries.h"
#include "support/PipeWatchdog.h"
#include "support/SmallFileSystem.h"
#include "support/WriteFailure.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <random>

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<unsigned char>;

std::vector<Frame> greyRamp(int count) {
    std::vector<Frame> frames;
    for (int k = 0; k < count; ++k) frames.emplace_back(64 * 48 * 3, static_cast<unsigned char>(30 + 6 * k));
    return frames;
}

std::vector<Frame> noise(int count, unsigned seed, int width = 64, int height = 48) {
    std::mt19937 random(seed);
    std::vector<Frame> frames(static_cast<std::size_t>(count), Frame(static_cast<std::size_t>(width * height * 3)));
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

// The last steps of a save made to fail: this binary is linked with fsync,
// close and rename wrapped (see CMakeLists.txt), and while a failure is armed
// the wrappers below fail the step with its error for the temporary of the
// file named (".<name>.<pid>-<n>.part") and for nothing else.
struct FinalSteps {
    std::atomic<bool> armed{false};
    std::mutex lock;
    std::string name;  // of the target
    int sync = 0, close = 0, rename = 0;
};

FinalSteps& finalSteps() {
    static FinalSteps steps;
    return steps;
}

void armFinalSteps(const std::string& name, int sync, int close, int rename) {
    FinalSteps& s = finalSteps();
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.name = name;
        s.sync = sync;
        s.close = close;
        s.rename = rename;
    }
    s.armed = !name.empty();
}

// The error armed for `step` when `path` (or else the file open at `fd`) is the
// temporary of the target named; 0 otherwise.
int armedFailure(int FinalSteps::*step, int fd, const char* path) {
    FinalSteps& s = finalSteps();
    if (!s.armed) return 0;
    std::string file = path ? path : std::string();
    if (!path) {
        char link[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link);
        file.assign(link, n > 0 ? static_cast<size_t>(n) : 0);
    }
    const std::string base = fs::path(file).filename().string();
    std::lock_guard<std::mutex> hold(s.lock);
    const std::string start = "." + s.name + ".";
    const bool temporary = base.size() > start.size() + 5 && base.compare(0, start.size(), start) == 0 &&
                           base.compare(base.size() - 5, 5, ".part") == 0;
    return temporary ? s.*step : 0;
}

}  // namespace

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
    if (const int code = armedFailure(&FinalSteps::sync, fd, nullptr)) {
        errno = code;
        return -1;
    }
    return __real_fsync(fd);
}

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
    const int code = armedFailure(&FinalSteps::close, fd, nullptr);
    // A close that fails has still released the descriptor.
    const int closed = __real_close(fd);
    if (code == 0) return closed;
    errno = code;
    return -1;
}

extern "C" int __real_rename(const char* from, const char* to);
extern "C" int __wrap_rename(const char* from, const char* to) {
    if (const int code = armedFailure(&FinalSteps::rename, -1, from)) {
        errno = code;
        return -1;
    }
    return __real_rename(from, to);
}

namespace {

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

// A video that cannot be finished leaves the file it was to replace byte for
// byte, and no temporary: on a file system that fills up, under a file-size
// limit, with a folder that cannot take a new file, or with a file where the
// folder should be.
TEST_F(VideoWriterTest, AFailedVideoLeavesTheOldFileAsItWas) {
    std::mt19937 random(7);
    std::string old(100000, '\0');
    for (char& c : old) c = static_cast<char>(random());
    const auto none = WriteFailure::MissingFolder;  // no failure arranged: the case makes its own
    const auto oldFile = [&](const std::string& f) {
        std::ofstream(f + "/old.mp4", std::ios::binary) << old;
        return f + "/old.mp4";
    };
    const struct {
        const char* name;
        WriteFailure how;
        bool smallFileSystem;                                    // else `how` makes the write fail
        std::function<std::string(const std::string&)> prepare;  // the target, in the folder given
        std::function<std::string(const std::string&)> reason;   // what standard error says
    } cases[] = {
        {"a file system that fills up", none, true, oldFile,
         [](const std::string& f) {
             return "Could not write '" + f +
                    "/old.mp4': writing failed (No space left on device); the existing file is unchanged.\n";
         }},
        {"a file-size limit", WriteFailure::FileSizeLimit, false, oldFile,
         [](const std::string& f) {
             return "Could not write '" + f +
                    "/old.mp4': writing failed (File too large); the existing file is unchanged.\n";
         }},
        {"a read-only folder", WriteFailure::ReadOnlyFolder, false, oldFile,
         [](const std::string& f) {
             return "Could not open '" + f + "/old.mp4': the folder " + f +
                    " cannot take the new file (Permission denied); the existing file is unchanged.\n";
         }},
        {"a file where the folder should be", none, false,
         [&](const std::string& f) { return oldFile(f) + "/clip.mp4"; },
         [](const std::string& f) {
             return "Could not open '" + f + "/old.mp4/clip.mp4': " + f + "/old.mp4 is a regular file, not a folder.\n";
         }},
    };
    int folders = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = path("case" + std::to_string(folders++));
        ASSERT_TRUE(fs::create_directory(f));
        // What the write gives, what it printed, and the folder afterwards.
        const auto attempt = [&] {
            const std::string target = c.prepare(f);
            const auto before = folderSnapshot(QString::fromStdString(f));
            MCV_VideoWriter writer;
            writer.setData(noise(64, 5, 320, 240), 320, 240, 4000000, 25);
            int result = -1;
            testing::internal::CaptureStderr();
            const bool arranged = underWriteFailure(c.how, f, 64 * 1024, [&] { result = write(writer, target); });
            const std::string errors = testing::internal::GetCapturedStderr();
            const bool same = folderSnapshot(QString::fromStdString(f)) == before;
            return std::string(arranged ? "" : "not arranged\n") + std::to_string(result) + "\n" +
                   (same ? "as it was" : "changed") + "\n" + std::to_string(writer.frameCount()) + "\n" + errors +
                   "reason for the window: " + writer.failureReason() + "\n";
        };
        std::string report;
        if (c.smallFileSystem) {
            if (!onSmallFileSystem(f, 256 * 1024, attempt, &report)) {
                std::cout << "no mount namespace can be made here: " << c.name << " not tried\n";
                continue;
            }
        } else {
            report = attempt();
        }
        // The frames stay for another try.
        const std::string expected = "1\nas it was\n64\n";
        ASSERT_EQ(report.substr(0, expected.size()), expected) << report;
        EXPECT_NE(report.find(c.reason(f)), std::string::npos) << report;
        // The window is given the same reason as standard error.
        const size_t given = report.find("reason for the window: ");
        ASSERT_NE(given, std::string::npos) << report;
        const std::string windowReason = report.substr(given + 23, report.size() - given - 24);
        EXPECT_FALSE(windowReason.empty());
        EXPECT_NE(c.reason(f).find(": " + windowReason), std::string::npos) << windowReason;
        EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
    }
}

// The end of a save: a sync, close or rename that fails fails the save with
// its reason (never a saved video), leaves the old file byte for byte and no
// temporary. The frames stay, and the next save, which succeeds, reports no
// reason.
TEST_F(VideoWriterTest, AFailedSyncCloseOrRenameFailsTheSaveWithItsReason) {
    const struct {
        const char* name;
        int sync, close, rename;
        const char* reason;
    } cases[] = {
        {"a failed sync", EIO, 0, 0, "the file could not be put on the disk (Input/output error)"},
        {"a failed close", 0, EIO, 0, "closing the file failed (Input/output error)"},
        {"a rename across file systems", 0, 0, EXDEV,
         "the new file could not take its name (Invalid cross-device link)"},
        {"a rename refused", 0, 0, EACCES, "the new file could not take its name (Permission denied)"},
    };
    std::mt19937 random(11);
    std::string old(20000, '\0');
    for (char& c : old) c = static_cast<char>(random());
    int folders = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = path("end" + std::to_string(folders++));
        ASSERT_TRUE(fs::create_directory(f));
        const std::string target = f + "/clip.mp4";
        std::ofstream(target, std::ios::binary) << old;
        const auto before = folderSnapshot(QString::fromStdString(f));
        MCV_VideoWriter writer;
        writer.setData(greyRamp(6), 64, 48, 1024000, 25);
        armFinalSteps("clip.mp4", c.sync, c.close, c.rename);
        testing::internal::CaptureStderr();
        const int result = write(writer, target);
        const std::string errors = testing::internal::GetCapturedStderr();
        armFinalSteps("", 0, 0, 0);
        const std::string reason = std::string(c.reason) + "; the existing file is unchanged";
        EXPECT_EQ(result, 1);
        EXPECT_EQ(writer.failureReason(), reason);
        EXPECT_NE(errors.find("Could not write '" + target + "': " + reason + ".\n"), std::string::npos) << errors;
        EXPECT_EQ(folderSnapshot(QString::fromStdString(f)), before) << "the old file byte for byte";
        EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
        ASSERT_EQ(writer.frameCount(), 6);
        ASSERT_EQ(write(writer, target), 0);
        EXPECT_EQ(writer.failureReason(), "");
        EXPECT_EQ(decode(target).luma.size(), 6u);
    }
}

// A video that fits replaces the file whole, as the only file in the folder
// besides the others that were there, with the old file's permissions.
TEST_F(VideoWriterTest, AVideoReplacesTheOldFileWholeAndPlays) {
    const std::string f = path("replace");
    ASSERT_TRUE(fs::create_directory(f));
    std::ofstream(f + "/clip.mp4") << "old";
    std::ofstream(f + "/other") << "other";
    ASSERT_EQ(::chmod((f + "/clip.mp4").c_str(), 0640), 0);
    MCV_VideoWriter writer;
    writer.setData(greyRamp(12), 64, 48, 1024000, 25);
    ASSERT_EQ(write(writer, f + "/clip.mp4"), 0);
    EXPECT_EQ(fs::status(f + "/clip.mp4").permissions(), fs::perms(0640));
    const Decoded video = decode(f + "/clip.mp4");
    ASSERT_EQ(video.luma.size(), 12u);
    for (int k = 0; k < 12; ++k) EXPECT_NEAR(video.luma[k], 16 + 219 * (30 + 6 * k) / 255.0, 6) << k;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(f)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"clip.mp4", "other"}));
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
