#include "host/audio/audio_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/audio/av_error.h"
#include "host/audio/av_file_io.h"
#include "host/common/host_error.h"
#include "host/common/new_file.h"

namespace qvhost {
namespace {

HostError FileError(const std::string &path, const std::string &reason)
{
    return HostError(path + ": " + reason);
}
HostError Undecodable(const std::string &path, const std::string &why)
{
    return FileError(path, "not audio that can be decoded (" + why + ")");
}

// Opens the file once, without waiting (for a FIFO's writer), and checks
// that what it opened is a non-empty regular file: the descriptor is what
// libavformat then reads. The path is looked at first for the reason in words.
FileDescriptor OpenRegularFile(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw FileError(path, std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw FileError(path, "is a directory, not an audio file");
    if (!S_ISREG(st.st_mode))
        throw FileError(path, "is not a regular file");
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        throw FileError(path, std::string("cannot be read: ") + std::strerror(errno));
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw FileError(path, "is not a regular file");
    if (st.st_size == 0)
        throw FileError(path, "is empty");
    return fd;
}

std::string RateRange()
{
    return std::to_string(kLowestRate) + " to " + std::to_string(kHighestRate) + " Hz";
}

// Lossy codecs need what comes before a point to decode it as a continuous
// decode does (overlapping transforms, MP3's bit reservoir, Opus's pre-roll):
// a seek starts this much earlier and decodes forward.
constexpr double kSeekPrerollSeconds = 0.25;

// "M:SS.mmm", or "H:MM:SS.mmm" from an hour on.
std::string ClockTime(int64_t sample, int rate)
{
    const int64_t ms = sample * 1000 / rate;
    char text[40];
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, frac = ms % 1000;
    if (h > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", h, m, s, frac);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", m, s, frac);
    return text;
}

} // namespace

struct AudioDecoder::Impl {
    std::string path;
    FileDescriptor file;
    AVIOContext *io = nullptr; // reads `file`
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int rate = 0; // of the samples given out

    // The resampler and the input it was set up for.
    SwrContext *swr = nullptr;
    AVChannelLayout swrLayout{};
    int swrRate = 0;
    int swrFormat = -1;
    int outChannels = 2; // 1: mono, copied into the second channel

    // Decoded samples not yet read: pending[c][taken, filled), the first at
    // position `next`.
    std::vector<float> pending[2];
    int taken = 0, filled = 0;
    int64_t next = 0;
    int64_t firstPts = AV_NOPTS_VALUE; // the time of sample 0, in the stream's time base
    bool positionKnown = false;        // false after a seek until a frame tells where it lies
    int64_t skipTo = 0;                // samples before this (after a seek) are dropped
    bool draining = false;             // the demuxer is done; the decoder gives what it holds
    bool ended = false;
    std::string failure;

    ~Impl()
    {
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        CloseDescriptorIo(&io);
    }

    void open()
    {
        file = OpenRegularFile(path);
        // Problems are reported by the errors thrown and failure(), once.
        av_log_set_level(AV_LOG_QUIET);
        io = OpenDescriptorIo(file.get(), false);
        format = avformat_alloc_context();
        if (!io || !format)
            throw FileError(path, "out of memory");
        format->pb = io;
        ConfineFormatIo(format, nullptr); // a playlist or reference in the file opens nothing
        // (The name is a hint for probing only; on failure the context is freed.)
        int rc = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        // Streams whose parameters the probe leaves incomplete may still
        // decode: only a file without streams fails here.
        if (rc >= 0 && avformat_find_stream_info(format, nullptr) < 0 && format->nb_streams == 0)
            rc = AVERROR_INVALIDDATA;
        if (rc < 0)
            throw Undecodable(path, rc == AVERROR_EOF ? "it ends before its audio begins" : AvError(rc));
        const AVCodec *decoder = nullptr;
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (index == AVERROR_STREAM_NOT_FOUND)
            throw Undecodable(path, "it holds no audio stream");
        if (index < 0)
            throw Undecodable(path, "no decoder for its audio");
        stream = format->streams[index];
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (static_cast<int>(i) != index)
                format->streams[i]->discard = AVDISCARD_ALL;
        codec = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!codec || !packet || !frame)
            throw FileError(path, "out of memory");
        rc = avcodec_parameters_to_context(codec, stream->codecpar);
        codec->pkt_timebase = stream->time_base; // so that trimmed frames keep true times
        if (rc >= 0)
            rc = avcodec_open2(codec, decoder, nullptr);
        if (rc < 0)
            throw Undecodable(path, AvError(rc));
        if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
            throw Undecodable(path, std::to_string(codec->sample_rate) + " Hz, " +
                                        std::to_string(codec->ch_layout.nb_channels) + " channels");
        // Refused before any buffer is sized by it: a resampler's buffers and
        // filters grow with the ratio of the rates.
        if (codec->sample_rate < kLowestRate || codec->sample_rate > kHighestRate)
            throw FileError(path, "claims a sample rate of " + std::to_string(codec->sample_rate) +
                                      " Hz; audio comes at " + RateRange());
        rate = std::clamp(codec->sample_rate, kMinSampleRate, kMaxSampleRate);
        while (filled == 0 && pull()) {
        }
        if (filled == 0)
            throw failure.empty() ? FileError(path, "holds no audio") : Undecodable(path, failure);
        firstPts = firstPts == AV_NOPTS_VALUE ? 0 : firstPts;
    }

    // Decoding ends here, for the reason `code` (or `why`) gives.
    void stop(int code) { stop(AvError(code)); }
    void stop(const std::string &why)
    {
        ended = true;
        failure = why;
    }

    // Decodes the next frame into `pending`. False once nothing more comes.
    bool pull()
    {
        while (!ended) {
            int rc = avcodec_receive_frame(codec, frame);
            if (rc == 0) {
                convert(false);
                av_frame_unref(frame);
                return !ended;
            }
            if (rc == AVERROR_EOF) {
                convert(true); // what the resampler still holds
                ended = true;
                return true;
            }
            if (rc != AVERROR(EAGAIN)) {
                stop(rc);
                return false;
            }
            if (draining) { // (a decoder never asks for more once drained)
                ended = true;
                return false;
            }
            rc = av_read_frame(format, packet);
            if (rc == AVERROR_EOF) {
                draining = true;
                rc = avcodec_send_packet(codec, nullptr);
            } else if (rc >= 0) {
                rc = packet->stream_index == stream->index ? avcodec_send_packet(codec, packet) : 0;
                av_packet_unref(packet);
            }
            if (rc < 0) {
                stop(rc);
                return false;
            }
        }
        return false;
    }

    // Sets the resampler up for the decoded frame, if it is not already.
    void prepareResampler()
    {
        if (swr && frame->sample_rate == swrRate && frame->format == swrFormat &&
            av_channel_layout_compare(&frame->ch_layout, &swrLayout) == 0)
            return;
        swr_free(&swr);
        if (frame->sample_rate < kLowestRate || frame->sample_rate > kHighestRate) {
            stop("a sample rate of " + std::to_string(frame->sample_rate) + " Hz; audio comes at " + RateRange());
            return;
        }
        av_channel_layout_uninit(&swrLayout);
        av_channel_layout_copy(&swrLayout, &frame->ch_layout);
        swrRate = frame->sample_rate;
        swrFormat = frame->format;
        AVChannelLayout in{}, out{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&in, &frame->ch_layout);
        outChannels = in.nb_channels == 1 ? 1 : 2;
        av_channel_layout_default(&out, outChannels);
        int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_FLTP, rate, &in,
                                     static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (rc >= 0)
            rc = swr_init(swr);
        if (rc < 0) {
            swr_free(&swr);
            stop(rc);
        }
    }

    // Converts the decoded frame (`flushing`: what the resampler still
    // holds) into `pending`, dropping what lies before `skipTo`.
    void convert(bool flushing)
    {
        if (flushing && !swr)
            return;
        if (!flushing) {
            prepareResampler();
            if (!swr)
                return;
            if (!positionKnown)
                placeFrame();
        }
        const int count = flushing ? 0 : frame->nb_samples;
        const int room = swr_get_out_samples(swr, count);
        if (room <= 0)
            return;
        for (auto &c : pending)
            if (c.size() < static_cast<size_t>(filled + room))
                c.resize(static_cast<size_t>(filled + room));
        uint8_t *out[2] = {reinterpret_cast<uint8_t *>(pending[0].data() + filled),
                           reinterpret_cast<uint8_t *>(pending[1].data() + filled)};
        const int got =
            swr_convert(swr, out, room, flushing ? nullptr : const_cast<const uint8_t **>(frame->extended_data), count);
        if (got < 0) {
            stop(got);
            return;
        }
        if (outChannels == 1)
            std::copy_n(pending[0].data() + filled, got, pending[1].data() + filled);
        filled += got;
        const int drop = static_cast<int>(std::clamp<int64_t>(skipTo - next, 0, filled - taken));
        taken += drop;
        next += drop;
    }

    // Where the first frame after the start or a seek lies, from its time.
    void placeFrame()
    {
        const int64_t pts = frame->best_effort_timestamp;
        positionKnown = true;
        if (firstPts == AV_NOPTS_VALUE) { // the file's first frame: sample 0
            firstPts = pts;
            next = 0;
            return;
        }
        // Without a time, the demuxer is taken at its word.
        next = pts == AV_NOPTS_VALUE ? skipTo : av_rescale_q(pts - firstPts, stream->time_base, AVRational{1, rate});
    }

    int read(float *left, float *right, int count)
    {
        int n = 0;
        while (n < count) {
            if (taken == filled) {
                taken = filled = 0;
                if (!pull() && filled == 0)
                    break;
                continue;
            }
            const int k = std::min(count - n, filled - taken);
            std::copy_n(pending[0].data() + taken, k, left + n);
            std::copy_n(pending[1].data() + taken, k, right + n);
            taken += k;
            next += k;
            n += k;
        }
        return n;
    }

    void seek(int64_t sample)
    {
        sample = std::max<int64_t>(sample, 0);
        // (Near the start, that is before sample 0: where a codec's priming
        // packets lie, which the first samples need as much.)
        const int64_t from = sample - static_cast<int64_t>(kSeekPrerollSeconds * rate);
        const int64_t ts = firstPts + av_rescale_q(from, AVRational{1, rate}, stream->time_base);
        int rc = avformat_seek_file(format, stream->index, INT64_MIN, ts, ts, 0);
        if (rc < 0) // no index or timestamps to seek by: from the start
            rc = avformat_seek_file(format, stream->index, INT64_MIN, firstPts, firstPts, 0);
        avcodec_flush_buffers(codec);
        swr_free(&swr);
        taken = filled = 0;
        skipTo = sample;
        positionKnown = false;
        draining = ended = false;
        failure.clear();
        if (rc < 0)
            stop(rc);
    }

    std::string failureLine() const
    {
        if (failure.empty())
            return failure;
        return path + ": decoding stopped at " + ClockTime(next + (filled - taken), rate) + " (" + failure +
               "); the rest is left out";
    }
};

AudioDecoder::AudioDecoder(const std::string &path) : impl_(std::make_unique<Impl>())
{
    impl_->path = path;
    impl_->open();
}

AudioDecoder::~AudioDecoder() = default;

int AudioDecoder::sampleRate() const
{
    return impl_->rate;
}

int AudioDecoder::read(float *left, float *right, int count)
{
    return impl_->read(left, right, count);
}

void AudioDecoder::seek(int64_t sample)
{
    impl_->seek(sample);
}

int64_t AudioDecoder::statedLength() const
{
    const AVRational out{1, impl_->rate};
    if (impl_->stream->duration != AV_NOPTS_VALUE)
        return av_rescale_q(impl_->stream->duration, impl_->stream->time_base, out);
    if (impl_->format->duration != AV_NOPTS_VALUE)
        return av_rescale_q(impl_->format->duration, AV_TIME_BASE_Q, out);
    return -1;
}

std::string AudioDecoder::failure() const
{
    return impl_->failureLine();
}

} // namespace qvhost
