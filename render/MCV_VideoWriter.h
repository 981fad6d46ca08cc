#pragma once

#include <string>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVDictionary;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVRational;
struct AVStream;
struct SwsContext;

// Encodes recorded RGB frames into a video file (an MP4 container with the
// container's default video codec, MPEG as the fallback container) through
// the FFmpeg libraries.
//
// Contract: each frame holds width x height x 3 bytes (RGB24, rows of
// width x 3 bytes, the first row is the top of the picture). A writer is
// filled once by setData and used for one writeToFile; a successful write
// releases the frames, so a second write returns 1. No failure ends the
// process: every failure prints its reason to standard error, releases what
// was opened and returns 1. The encoder is drained after the last frame, so
// every frame handed in reaches the file.
//
// The file is written as every file of the program is (MCV_ReplacingFile): the
// video goes to a new temporary beside the target, in which the library may
// seek, and takes the target's name only once it is whole and on the disk. A
// failure at any step leaves a file that was there as it was and no temporary;
// a folder, device or pipe at the target is refused without being opened.
class MCV_VideoWriter {
public:
    MCV_VideoWriter();
    ~MCV_VideoWriter();
    MCV_VideoWriter(const MCV_VideoWriter&) = delete;
    MCV_VideoWriter& operator=(const MCV_VideoWriter&) = delete;

    // Copies the frames; bitrate in bits per second, framerate in frames per
    // second.
    void setData(std::vector<std::vector<unsigned char>> frames, int width, int height, int bitrate, int framerate);
    void setBitrate(int bitrate);
    void setFramerate(int framerate);

    // 0 on success, 1 on any failure (no frames, frames of the wrong size, no
    // usable container or encoder, a file that cannot be opened or written).
    int writeToFile(std::string fileName);
    // Why the last writeToFile failed, in words for the user (for example
    // "writing failed (No space left on device)"); empty after a success.
    const std::string& failureReason() const { return failure; }

    int frameCount() const { return static_cast<int>(frames.size()); }

private:
    // The state of the one video stream of a write.
    struct OutputStream {
        AVStream* stream = nullptr;
        AVCodecContext* encoder = nullptr;
        long long nextPts = 0;
        AVFrame* frame = nullptr;
        SwsContext* scaler = nullptr;
        AVPacket* packet = nullptr;
        // Encoded size: the frame size rounded up to even numbers, as 4:2:0
        // chroma needs; an odd last column or row is repeated into the pad.
        int codedWidth = 0;
        int codedHeight = 0;
        // One frame at the encoded size with slack behind it, since the
        // converter's vector code may read a few bytes past its source.
        std::vector<unsigned char> source;
    };

    // Every stream operation below returns 0 on success and a negative
    // number on failure, after printing the reason to standard error; the
    // caller releases the stream with closeStream in both cases.
    int addVideoStream(OutputStream* ost, AVFormatContext* context, const AVCodec** codec, int codecId);
    int openVideo(AVFormatContext* context, const AVCodec* codec, OutputStream* ost, AVDictionary* options);
    // 0 while frames remain; 1 once the last frame is sent and the encoder is
    // drained into the file.
    int writeVideoFrame(AVFormatContext* context, OutputStream* ost);
    // The next frame in the encoder's format, or null once all frames are
    // used (failed tells a failure apart from the end).
    AVFrame* getVideoFrame(OutputStream* ost, bool& failed);
    void closeStream(AVFormatContext* context, OutputStream* ost);
    static AVFrame* allocPicture(int pixelFormat, int width, int height);
    static int writeFrame(AVFormatContext* context, const AVRational* timeBase, AVStream* stream, AVPacket* packet);
    static void logPacket(const AVFormatContext* context, const AVPacket* packet);
    // Frames, size, bitrate and frame rate fit together; prints why not.
    bool checkInput() const;

    std::vector<std::vector<unsigned char>> frames;
    int width = 0;
    int height = 0;
    int bitrate = 1024000;
    int framerate = 25;
    std::string failure;
};
