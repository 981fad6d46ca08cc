#include "render/MCV_VideoWriter.h"

#include "data/MCV_ReplacingFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <utility>

namespace {

// Slack behind the converter's source; its vector loops read whole blocks.
constexpr std::size_t sourceSlack = 64;

std::string errorText(int code) {
    char buffer[64] = {0};
    av_strerror(code, buffer, sizeof(buffer));
    return buffer;
}

// Bytes the muxer gathers before it hands them to the file.
constexpr int outputBufferSize = 1 << 16;

// The muxer's output, through the program's file writer: the library writes
// and seeks in a new temporary file beside the target, which takes the
// target's name only at the commit. A failure is the file's to tell (its
// error()); the library hears only that the step failed.
struct ReplacingOutput {
    // Both forms of the library's write callback; the one it declares is
    // taken.
    static int writePacket(void* file, uint8_t* bytes, int size) { return put(file, bytes, size); }
    static int writePacket(void* file, const uint8_t* bytes, int size) { return put(file, bytes, size); }

    static int put(void* opaque, const uint8_t* bytes, int size) {
        MCV_ReplacingFile* file = static_cast<MCV_ReplacingFile*>(opaque);
        if (size < 0) return AVERROR(EINVAL);
        return file->write(bytes, static_cast<size_t>(size)) ? size : AVERROR(EIO);
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        MCV_ReplacingFile* file = static_cast<MCV_ReplacingFile*>(opaque);
        whence &= ~AVSEEK_FORCE;
        const int64_t end = static_cast<int64_t>(file->size());
        if (whence == AVSEEK_SIZE) return end;
        int64_t base = 0;
        if (whence == SEEK_CUR)
            base = static_cast<int64_t>(file->position());
        else if (whence == SEEK_END)
            base = end;
        else if (whence != SEEK_SET)
            return AVERROR(EINVAL);
        if (offset < -base || offset > std::numeric_limits<int64_t>::max() - base) return AVERROR(EINVAL);
        const int64_t target = base + offset;
        return file->seek(static_cast<uint64_t>(target)) ? target : AVERROR(EIO);
    }
};

}  // namespace

MCV_VideoWriter::MCV_VideoWriter() = default;

MCV_VideoWriter::~MCV_VideoWriter() = default;

void MCV_VideoWriter::setData(std::vector<std::vector<unsigned char>> newFrames, int newWidth, int newHeight,
                              int newBitrate, int newFramerate) {
    frames = std::move(newFrames);
    width = newWidth;
    height = newHeight;
    bitrate = newBitrate;
    framerate = newFramerate;
}

void MCV_VideoWriter::setBitrate(int newBitrate) { bitrate = newBitrate; }

void MCV_VideoWriter::setFramerate(int newFramerate) { framerate = newFramerate; }

bool MCV_VideoWriter::checkInput() const {
    // The even encoded size must still fit an int.
    if (width <= 0 || height <= 0 || width == std::numeric_limits<int>::max() ||
        height == std::numeric_limits<int>::max()) {
        std::fprintf(stderr, "Error: Invalid video size %d x %d.\n", width, height);
        return false;
    }
    if (framerate <= 0) {
        std::fprintf(stderr, "Error: Invalid frame rate %d.\n", framerate);
        return false;
    }
    if (bitrate < 0) {
        std::fprintf(stderr, "Error: Invalid bitrate %d.\n", bitrate);
        return false;
    }
    // Pictures whose byte counts do not fit an int are refused by the codecs
    // anyway; refusing them here keeps every size below in range.
    if (av_image_check_size(width + (width & 1), height + (height & 1), 0, nullptr) < 0) {
        std::fprintf(stderr, "Error: Invalid video size %d x %d.\n", width, height);
        return false;
    }
    const std::size_t expected = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].size() != expected) {
            std::fprintf(stderr, "Error: Frame %zu holds %zu bytes, expected %d x %d x 3 = %zu.\n", i, frames[i].size(),
                         width, height, expected);
            return false;
        }
    }
    return true;
}

int MCV_VideoWriter::writeToFile(std::string fileName) {
    failure.clear();
    if (frames.empty()) {
        failure = "no frames were recorded";
        return 1;
    }
    if (!checkInput()) {
        failure = "the recorded frames do not make a video";
        return 1;
    }

    std::cout << "\nRendering video consisting of " << frames.size() << " frames." << std::flush;

    AVFormatContext* context = nullptr;
    avformat_alloc_output_context2(&context, nullptr, "mp4", fileName.c_str());
    if (!context) {
        std::cout << "Warning: Could not deduce output format from file extension: using MPEG.\n" << std::flush;
        avformat_alloc_output_context2(&context, nullptr, "mpeg", fileName.c_str());
    }
    if (!context) {
        std::fprintf(stderr, "Error: Could not create output context.\n");
        failure = "the video could not be encoded";
        return 1;
    }
    const AVOutputFormat* format = context->oformat;

    OutputStream video;
    // The new file; the target is touched only by its commit.
    MCV_ReplacingFile file;
    bool fileOpened = false;
    // Releases everything opened so far; the new file of a failed write goes
    // with `file`, and the target stays as it was.
    auto finish = [&](int result) {
        closeStream(context, &video);
        if (context->pb) {
            av_freep(&context->pb->buffer);
            avio_context_free(&context->pb);
        }
        avformat_free_context(context);
        // A step the library took no notice of (a failed seek) has ended the
        // file too; the commit tells.
        if (result == 0 && fileOpened && !file.commit()) result = 1;
        if (result != 0) {
            if (fileOpened && !file.error().empty()) {
                std::fprintf(stderr, "Could not write '%s': %s.\n", fileName.c_str(), file.error().c_str());
                failure = file.error();
            }
            if (failure.empty()) failure = "the video could not be encoded";
            file.discard();
        }
        return result;
    };

    if (format->video_codec == AV_CODEC_ID_NONE) {
        std::fprintf(stderr, "Error: The output format '%s' has no video codec.\n", format->name);
        return finish(1);
    }
    const AVCodec* codec = nullptr;
    if (addVideoStream(&video, context, &codec, format->video_codec) < 0) return finish(1);
    if (openVideo(context, codec, &video, nullptr) < 0) return finish(1);

    av_dump_format(context, 0, fileName.c_str(), 1);

    if (!(format->flags & AVFMT_NOFILE)) {
        // The library seeks in its output to fill in the header, so it writes
        // into a regular file of its own beside the target. A pipe, which
        // would hold the open until a reader comes, a device or a folder at
        // the target is refused, as by every other writer, without opening it.
        if (!file.open(fileName)) {
            std::fprintf(stderr, "Could not open '%s': %s.\n", fileName.c_str(), file.error().c_str());
            failure = file.error();
            return finish(1);
        }
        fileOpened = true;
        unsigned char* buffer = static_cast<unsigned char*>(av_malloc(outputBufferSize));
        context->pb = buffer ? avio_alloc_context(buffer, outputBufferSize, 1, &file, nullptr,
                                                  &ReplacingOutput::writePacket, &ReplacingOutput::seek)
                             : nullptr;
        if (!context->pb) {
            av_free(buffer);
            std::fprintf(stderr, "Could not allocate the output of '%s'\n", fileName.c_str());
            return finish(1);
        }
    }

    const int header = avformat_write_header(context, nullptr);
    if (header < 0) {
        std::fprintf(stderr, "Error occurred when opening output file: %s\n", errorText(header).c_str());
        return finish(1);
    }

    int written = 0;
    while ((written = writeVideoFrame(context, &video)) == 0) {}
    if (written < 0) return finish(1);

    const int trailer = av_write_trailer(context);
    if (trailer < 0) {
        std::fprintf(stderr, "Error occurred when finishing output file: %s\n", errorText(trailer).c_str());
        return finish(1);
    }
    if (context->pb) {
        avio_flush(context->pb);
        if (context->pb->error < 0) {
            std::fprintf(stderr, "Error occurred when finishing output file: %s\n",
                         errorText(context->pb->error).c_str());
            return finish(1);
        }
    }
    if (finish(0) != 0) return 1;

    frames.clear();
    frames.shrink_to_fit();
    return 0;
}

int MCV_VideoWriter::addVideoStream(OutputStream* ost, AVFormatContext* context, const AVCodec** codec, int codecId) {
    const AVCodecID id = static_cast<AVCodecID>(codecId);
    *codec = avcodec_find_encoder(id);
    if (!*codec) {
        std::fprintf(stderr, "Could not find encoder for '%s'\n", avcodec_get_name(id));
        return -1;
    }
    ost->stream = avformat_new_stream(context, nullptr);
    if (!ost->stream) {
        std::fprintf(stderr, "Could not allocate stream\n");
        return -1;
    }
    ost->stream->id = static_cast<int>(context->nb_streams) - 1;
    ost->encoder = avcodec_alloc_context3(*codec);
    if (!ost->encoder) {
        std::fprintf(stderr, "Could not alloc an encoding context\n");
        return -1;
    }
    ost->packet = av_packet_alloc();
    if (!ost->packet) {
        std::fprintf(stderr, "Could not allocate packet\n");
        return -1;
    }

    ost->codedWidth = width + (width & 1);
    ost->codedHeight = height + (height & 1);

    AVCodecContext* c = ost->encoder;
    c->codec_id = id;
    c->bit_rate = bitrate;
    c->width = ost->codedWidth;
    c->height = ost->codedHeight;
    ost->stream->time_base = AVRational{1, framerate};
    c->time_base = ost->stream->time_base;
    c->framerate = AVRational{framerate, 1};
    c->gop_size = 12;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    if (c->codec_id == AV_CODEC_ID_MPEG2VIDEO) c->max_b_frames = 2;
    if (c->codec_id == AV_CODEC_ID_MPEG1VIDEO) c->mb_decision = 2;
    if (context->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return 0;
}

int MCV_VideoWriter::openVideo(AVFormatContext* /*context*/, const AVCodec* codec, OutputStream* ost,
                               AVDictionary* options) {
    AVCodecContext* c = ost->encoder;
    AVDictionary* copy = nullptr;
    av_dict_copy(&copy, options, 0);
    const int opened = avcodec_open2(c, codec, &copy);
    av_dict_free(&copy);
    if (opened < 0) {
        std::fprintf(stderr, "Could not open video codec: %s\n", errorText(opened).c_str());
        return -1;
    }
    ost->frame = allocPicture(c->pix_fmt, c->width, c->height);
    if (!ost->frame) return -1;
    // The encoder is asked for YUV420P, the converter's output, and refuses
    // to open when it cannot take it; no intermediate picture is needed.
    const int copied = avcodec_parameters_from_context(ost->stream->codecpar, c);
    if (copied < 0) {
        std::fprintf(stderr, "Could not copy the stream parameters\n");
        return -1;
    }
    ost->source.assign(
        static_cast<std::size_t>(ost->codedWidth) * static_cast<std::size_t>(ost->codedHeight) * 3 + sourceSlack, 0);
    return 0;
}

AVFrame* MCV_VideoWriter::allocPicture(int pixelFormat, int width, int height) {
    AVFrame* picture = av_frame_alloc();
    if (!picture) {
        std::fprintf(stderr, "Could not allocate video frame\n");
        return nullptr;
    }
    picture->format = pixelFormat;
    picture->width = width;
    picture->height = height;
    if (av_frame_get_buffer(picture, 32) < 0) {
        std::fprintf(stderr, "Could not allocate frame data.\n");
        av_frame_free(&picture);
        return nullptr;
    }
    return picture;
}

AVFrame* MCV_VideoWriter::getVideoFrame(OutputStream* ost, bool& failed) {
    failed = false;
    if (ost->nextPts >= static_cast<long long>(frames.size())) return nullptr;

    if (av_frame_make_writable(ost->frame) < 0) {
        std::fprintf(stderr, "Could not make the video frame writable\n");
        failed = true;
        return nullptr;
    }
    if (!ost->scaler) {
        ost->scaler = sws_getContext(ost->codedWidth, ost->codedHeight, AV_PIX_FMT_RGB24, ost->codedWidth,
                                     ost->codedHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!ost->scaler) {
            std::fprintf(stderr, "Could not initialize the conversion context\n");
            failed = true;
            return nullptr;
        }
    }

    // The source at the encoded size: an odd last column and row are
    // repeated into the pad, so the converter only ever sees even sizes.
    const std::vector<unsigned char>& rgb = frames[static_cast<std::size_t>(ost->nextPts)];
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t codedRowBytes = static_cast<std::size_t>(ost->codedWidth) * 3;
    unsigned char* source = ost->source.data();
    for (int y = 0; y < height; ++y) {
        unsigned char* row = source + y * codedRowBytes;
        std::memcpy(row, rgb.data() + y * rowBytes, rowBytes);
        if (ost->codedWidth != width) std::memcpy(row + rowBytes, row + rowBytes - 3, 3);
    }
    if (ost->codedHeight != height)
        std::memcpy(source + height * codedRowBytes, source + (height - 1) * codedRowBytes, codedRowBytes);

    const uint8_t* const planes[1] = {source};
    const int strides[1] = {static_cast<int>(codedRowBytes)};
    AVFrame* frame = ost->frame;
    sws_scale(ost->scaler, planes, strides, 0, ost->codedHeight, frame->data, frame->linesize);

    frame->pts = ost->nextPts++;
    return frame;
}

int MCV_VideoWriter::writeVideoFrame(AVFormatContext* context, OutputStream* ost) {
    bool failed = false;
    AVFrame* frame = getVideoFrame(ost, failed);
    if (failed) return -1;

    // A null frame starts draining, so that frames the encoder holds back for
    // reordering reach the file too.
    int result = avcodec_send_frame(ost->encoder, frame);
    if (result < 0) {
        std::fprintf(stderr, "Error encoding video frame: %s\n", errorText(result).c_str());
        return -1;
    }
    for (;;) {
        result = avcodec_receive_packet(ost->encoder, ost->packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) break;
        if (result < 0) {
            std::fprintf(stderr, "Error encoding video frame: %s\n", errorText(result).c_str());
            return -1;
        }
        // Every frame lasts one tick of the encoder's time base; a packet
        // without a duration would make the container cut the last frame.
        if (ost->packet->duration <= 0) ost->packet->duration = 1;
        result = writeFrame(context, &ost->encoder->time_base, ost->stream, ost->packet);
        if (result < 0) {
            std::fprintf(stderr, "Error while writing video frame: %s\n", errorText(result).c_str());
            return -1;
        }
    }
    return frame ? 0 : 1;
}

int MCV_VideoWriter::writeFrame(AVFormatContext* context, const AVRational* timeBase, AVStream* stream,
                                AVPacket* packet) {
    av_packet_rescale_ts(packet, *timeBase, stream->time_base);
    packet->stream_index = stream->index;
    logPacket(context, packet);
    const int result = av_interleaved_write_frame(context, packet);
    av_packet_unref(packet);
    return result;
}

void MCV_VideoWriter::logPacket(const AVFormatContext*, const AVPacket*) {}

void MCV_VideoWriter::closeStream(AVFormatContext*, OutputStream* ost) {
    avcodec_free_context(&ost->encoder);
    av_frame_free(&ost->frame);
    av_packet_free(&ost->packet);
    sws_freeContext(ost->scaler);
    ost->scaler = nullptr;
    ost->source.clear();
    ost->source.shrink_to_fit();
}
