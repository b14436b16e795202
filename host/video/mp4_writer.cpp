#include "host/video/mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/audio/av_error.h"
#include "host/audio/av_file_io.h"
#include "host/common/host_error.h"
#include "host/video/yuv_conversion.h"

namespace qvhost {
namespace {

constexpr int kAudioBitRate = 192000;

int ChooseAudioRate(const AVCodec *codec, int wanted)
{
    if (!codec->supported_samplerates)
        return wanted;
    int best = 0;
    for (const int *r = codec->supported_samplerates; *r; ++r) {
        if (*r == wanted)
            return wanted;
        if (*r == kStandardRate)
            best = kStandardRate;
    }
    return best ? best : codec->supported_samplerates[0];
}

} // namespace

struct Mp4Writer::Impl {
    std::string path; // as the user knows it, for messages
    FileDescriptor file;
    int fd = -1; // file's, for the muxer's second pass
    VideoSettings settings;
    int audioRate = 0; // 0: no audio track

    AVFormatContext *format = nullptr;
    AVCodecContext *video = nullptr;
    AVStream *videoStream = nullptr;
    AVFrame *yuv = nullptr;
    int64_t nextVideoPts = 0;

    AVCodecContext *aac = nullptr;
    AVStream *audioStream = nullptr;
    SwrContext *swr = nullptr;
    AVAudioFifo *fifo = nullptr;
    AVFrame *audioFrame = nullptr;
    int64_t nextAudioPts = 0; // output samples encoded
    std::vector<float> resampled[2];

    AVPacket *packet = nullptr;
    bool headerWritten = false;

    HostError Fail(const std::string &what, int code) const
    {
        return HostError(path + ": " + what + (code < 0 ? " (" + AvError(code) + ")" : std::string()));
    }

    void openVideo()
    {
        const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
        if (!codec)
            codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!codec)
            throw Fail("no H.264 encoder in this libavcodec", 0);
        videoStream = avformat_new_stream(format, nullptr);
        video = avcodec_alloc_context3(codec);
        if (!videoStream || !video)
            throw Fail("out of memory", AVERROR(ENOMEM));
        video->width = settings.width;
        video->height = settings.height;
        video->time_base = AVRational{1, settings.fps};
        video->framerate = AVRational{settings.fps, 1};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->gop_size = settings.fps * 2;
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_BT709;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary *opts = nullptr;
        av_dict_set(&opts, "preset", settings.preset.c_str(), 0);
        av_dict_set(&opts, "crf", std::to_string(settings.crf).c_str(), 0);
        const int rc = avcodec_open2(video, codec, &opts);
        av_dict_free(&opts);
        if (rc < 0)
            throw Fail("cannot open the H.264 encoder", rc);
        videoStream->time_base = video->time_base;
        videoStream->avg_frame_rate = video->framerate;
        avcodec_parameters_from_context(videoStream->codecpar, video);

        yuv = av_frame_alloc();
        if (!yuv)
            throw Fail("out of memory", AVERROR(ENOMEM));
        yuv->format = video->pix_fmt;
        yuv->width = video->width;
        yuv->height = video->height;
        if (av_frame_get_buffer(yuv, 0) < 0)
            throw Fail("out of memory", AVERROR(ENOMEM));
    }

    void openAudio()
    {
        const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec)
            throw Fail("no AAC encoder in this libavcodec", 0);
        audioStream = avformat_new_stream(format, nullptr);
        aac = avcodec_alloc_context3(codec);
        if (!audioStream || !aac)
            throw Fail("out of memory", AVERROR(ENOMEM));
        aac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        aac->sample_rate = ChooseAudioRate(codec, audioRate);
        av_channel_layout_default(&aac->ch_layout, 2);
        aac->bit_rate = kAudioBitRate;
        aac->time_base = AVRational{1, aac->sample_rate};
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            aac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = avcodec_open2(aac, codec, nullptr);
        if (rc < 0)
            throw Fail("cannot open the AAC encoder", rc);
        audioStream->time_base = aac->time_base;
        avcodec_parameters_from_context(audioStream->codecpar, aac);

        AVChannelLayout stereo;
        av_channel_layout_default(&stereo, 2);
        rc = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLTP, aac->sample_rate, &stereo, AV_SAMPLE_FMT_FLTP,
                                 audioRate, 0, nullptr);
        if (rc < 0 || swr_init(swr) < 0)
            throw Fail("cannot resample the audio", rc);
        fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, aac->frame_size > 0 ? aac->frame_size * 4 : 8192);
        audioFrame = av_frame_alloc();
        if (!fifo || !audioFrame)
            throw Fail("out of memory", AVERROR(ENOMEM));
    }

    void open()
    {
        int rc = avformat_alloc_output_context2(&format, nullptr, "mp4", path.c_str());
        if (rc < 0 || !format)
            throw Fail("cannot set up an MP4 file", rc);
        fd = file.get();
        ConfineFormatIo(format, &fd); // (the name is only a label: the faststart pass reads `fd`)
        openVideo();
        if (audioRate > 0)
            openAudio();
        packet = av_packet_alloc();
        if (!packet)
            throw Fail("out of memory", AVERROR(ENOMEM));
        format->pb = OpenDescriptorIo(fd, true);
        if (!format->pb)
            throw Fail("out of memory", AVERROR(ENOMEM));
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVDictionary *opts = nullptr;
        av_dict_set(&opts, "movflags", "+faststart", 0);
        rc = avformat_write_header(format, &opts);
        av_dict_free(&opts);
        if (rc < 0)
            throw Fail("cannot write the MP4 header", rc);
        headerWritten = true;
    }

    // Sends `frame` (null: flush) and writes every packet that comes out.
    void encode(AVCodecContext *ctx, AVStream *stream, AVFrame *frame)
    {
        int rc = avcodec_send_frame(ctx, frame);
        if (rc < 0)
            throw Fail("encoding failed", rc);
        for (;;) {
            rc = avcodec_receive_packet(ctx, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                throw Fail("encoding failed", rc);
            av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
            packet->stream_index = stream->index;
            rc = av_interleaved_write_frame(format, packet);
            if (rc < 0)
                throw Fail("writing failed", rc);
        }
    }

    void encodeAudioFrames(bool flushPartial)
    {
        const int frameSize = aac->frame_size > 0 ? aac->frame_size : 1024;
        while (av_audio_fifo_size(fifo) >= frameSize || (flushPartial && av_audio_fifo_size(fifo) > 0)) {
            const int n = std::min(frameSize, av_audio_fifo_size(fifo));
            av_frame_unref(audioFrame);
            audioFrame->format = AV_SAMPLE_FMT_FLTP;
            audioFrame->sample_rate = aac->sample_rate;
            av_channel_layout_copy(&audioFrame->ch_layout, &aac->ch_layout);
            // The encoder takes a short last frame only if it says so.
            const bool small = aac->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
            audioFrame->nb_samples = small ? n : frameSize;
            if (av_frame_get_buffer(audioFrame, 0) < 0)
                throw Fail("out of memory", AVERROR(ENOMEM));
            for (int c = 0; c < 2; ++c)
                std::fill_n(reinterpret_cast<float *>(audioFrame->data[c]), audioFrame->nb_samples, 0.0f);
            av_audio_fifo_read(fifo, reinterpret_cast<void **>(audioFrame->data), n);
            audioFrame->pts = nextAudioPts;
            nextAudioPts += audioFrame->nb_samples;
            encode(aac, audioStream, audioFrame);
        }
    }

    // Runs `count` input samples (none with null: drain) through the resampler into the fifo.
    void convert(const uint8_t **in, int count)
    {
        const int room = swr_get_out_samples(swr, count);
        if (room <= 0)
            return;
        for (auto &buf : resampled)
            if (buf.size() < static_cast<size_t>(room))
                buf.resize(static_cast<size_t>(room));
        uint8_t *out[2] = {reinterpret_cast<uint8_t *>(resampled[0].data()),
                           reinterpret_cast<uint8_t *>(resampled[1].data())};
        const int got = swr_convert(swr, out, room, in, count);
        if (got < 0)
            throw Fail("resampling failed", got);
        // The encoder refuses NaN, infinities and enormous values, which a
        // float file may hold: silence for the first, full scale for the rest.
        for (auto &buf : resampled)
            for (size_t i = 0; i < static_cast<size_t>(got); ++i)
                buf[i] = std::isfinite(buf[i]) ? std::clamp(buf[i], -1.0f, 1.0f) : 0.0f;
        if (got > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void **>(out), got) < got)
            throw Fail("out of memory", AVERROR(ENOMEM));
    }

    void writeVideo(const Frame &frame)
    {
        if (frame.width != settings.width || frame.height != settings.height)
            throw Fail("frame of the wrong size", 0);
        if (av_frame_make_writable(yuv) < 0)
            throw Fail("out of memory", AVERROR(ENOMEM));
        ArgbToYuv420(
            frame.pixels.data(), frame.width, frame.height, frame.width,
            YuvPlanes{yuv->data[0], yuv->linesize[0], yuv->data[1], yuv->linesize[1], yuv->data[2], yuv->linesize[2]});
        yuv->pts = nextVideoPts++;
        if (aac && frame.audioSamples > 0) {
            const uint8_t *in[2] = {reinterpret_cast<const uint8_t *>(frame.audio[0].data()),
                                    reinterpret_cast<const uint8_t *>(frame.audio[1].data())};
            convert(in, frame.audioSamples);
            encodeAudioFrames(false);
        }
        encode(video, videoStream, yuv);
    }

    void finish()
    {
        if (aac) {
            convert(nullptr, 0);
            encodeAudioFrames(true);
            encode(aac, audioStream, nullptr);
        }
        encode(video, videoStream, nullptr);
        int rc = av_write_trailer(format);
        if (rc < 0)
            throw Fail("cannot finish the MP4 file", rc);
        avio_flush(format->pb);
        if (format->pb->error < 0)
            throw Fail("cannot be written", format->pb->error);
        if (fsync(fd) != 0)
            throw Fail("cannot be written", AVERROR(errno));
    }

    ~Impl()
    {
        if (format)
            CloseDescriptorIo(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&video);
        avcodec_free_context(&aac);
        av_frame_free(&yuv);
        av_frame_free(&audioFrame);
        av_packet_free(&packet);
        swr_free(&swr);
        if (fifo)
            av_audio_fifo_free(fifo);
    }
};

Mp4Writer::Mp4Writer(FileDescriptor file, const std::string &name, const VideoSettings &video, int audioRate)
    : impl_(std::make_unique<Impl>())
{
    impl_->path = name;
    impl_->file = std::move(file);
    impl_->settings = video;
    impl_->audioRate = audioRate;
    // Failures are reported by the errors thrown; the libraries stay quiet
    // (also the decoder, which keeps decoding while this writes).
    av_log_set_level(AV_LOG_QUIET);
    impl_->open();
}

Mp4Writer::~Mp4Writer() = default;

void Mp4Writer::write(const Frame &frame)
{
    impl_->writeVideo(frame);
}

void Mp4Writer::finish()
{
    impl_->finish();
}

} // namespace qvhost
