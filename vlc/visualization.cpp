#include "vlc/visualization.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include <vlc_aout.h>
#include <vlc_block.h>
#include <vlc_input.h>
#include <vlc_picture.h>
#include <vlc_vout.h>

#include "host/common/defaults.h"
#include "host/common/messages.h"

namespace qvvlc {
namespace {

// A frame is drawn this long before its moment plays: time to draw it and for
// the vout to take it; also all that still shows of the old position after a
// seek.
constexpr vlc_tick_t kLead = CLOCK_FREQ / 10;
// A frame due longer ago than this is not drawn when late frames are dropped:
// the vout would drop its picture (VLC's own threshold).
constexpr vlc_tick_t kLate = CLOCK_FREQ / 50;
// A block that plays this much off where the last one ended says that the
// output's clock moved (a pause): the frames queued before it move with it.
constexpr vlc_tick_t kJitter = CLOCK_FREQ / 100;
// The most audio queued for the worker, in seconds; beyond it (a visual far
// slower than the music) the oldest goes. The decoder runs about a second ahead.
constexpr int64_t kMaxQueuedSeconds = 10;

// The filter whose visual runs on this thread: what the host library says on
// a visual's thread goes to that filter's log.
thread_local vlc_object_t *tSpeaker = nullptr;

void SayInVlcLog(bool warning, const std::string &text)
{
    if (!tSpeaker)
        std::fprintf(stderr, "quorvanta: %s%s\n", warning ? "warning: " : "", text.c_str());
    else if (warning)
        msg_Warn(tSpeaker, "%s", text.c_str());
    else
        msg_Info(tSpeaker, "%s", text.c_str());
}

// The input that plays the filter's audio: the audio output's owner (the
// media player, or the playlist in the vlc program) holds it among its
// children. Held; null when there is none.
vlc_object_t *FindInput(filter_t *filter)
{
    vlc_object_t *aout = filter->obj.parent;
    vlc_object_t *owner = aout ? aout->obj.parent : nullptr;
    vlc_list_t *children = owner ? vlc_list_children(owner) : nullptr;
    vlc_object_t *input = nullptr;
    for (int i = 0; children && i < children->i_count && !input; ++i) {
        auto *child = static_cast<vlc_object_t *>(children->p_values[i].p_address);
        if (std::strcmp(child->obj.object_type, "input") == 0)
            input = static_cast<vlc_object_t *>(vlc_object_hold(child));
    }
    if (children)
        vlc_list_release(children);
    return input;
}

} // namespace

Visualization::Visualization(filter_t *filter, const Settings &settings)
    : filter_(filter), width_(settings.width), height_(settings.height),
      channels_(static_cast<int>(aout_FormatNbChannels(&filter->fmt_in.audio))),
      rate_(static_cast<int>(filter->fmt_in.audio.i_rate)), fps_{settings.fps, 1},
      dropLate_(var_InheritBool(filter, "drop-late-frames"))
{
    static std::once_flag routed;
    std::call_once(routed, [] { qvhost::SetMessageSink(&SayInVlcLog); });
    frames_.setRates(rate_, fps_);
    thread_.run([&] {
        tSpeaker = VLC_OBJECT(filter);
        visual_ = std::make_unique<qvhost::HostedVisual>(settings.bundle);
        try {
            visual_->show(width_, height_);
        } catch (...) {
            visual_.reset(); // here, on the thread it started on
            throw;
        }
    });
    if ((input_ = FindInput(filter))) {
        var_AddCallback(input_, "state", OnState, this);
        vlc_value_t none{}, state{};
        state.i_int = var_GetInteger(input_, "state");
        OnState(input_, "state", none, state, this);
    }
}

Visualization::~Visualization()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
    thread_.run([&] { visual_.reset(); });
    if (input_) {
        var_DelCallback(input_, "state", OnState, this);
        vlc_object_release(input_);
    }
    if (previous_)
        picture_Release(previous_);
    if (vout_)
        aout_filter_RequestVout(filter_, vout_, nullptr);
}

void Visualization::start(vout_thread_t *vout)
{
    vout_ = vout;
    worker_ = std::thread([this] { run(); });
}

// The input's "time" is the stream's position (the target, right after a seek).
int64_t Visualization::streamSample()
{
    const int64_t time = input_ ? var_GetInteger(input_, "time") : -1;
    return time < 0 ? -1 : (time * rate_ + CLOCK_FREQ / 2) / CLOCK_FREQ;
}

// The input thread, as the input's state changes (and the constructor).
int Visualization::OnState(vlc_object_t *, const char *, vlc_value_t, vlc_value_t state, void *self)
{
    auto *v = static_cast<Visualization *>(self);
    const bool paused = state.i_int == PAUSE_S;
    {
        std::lock_guard<std::mutex> hold(v->mutex_);
        if (paused && !v->paused_) {
            v->pausedAt_ = mdate();
        } else if (!paused && v->paused_) {
            const vlc_tick_t lasted = mdate() - v->pausedAt_;
            v->shift_ += lasted;
            v->credit_ += lasted;
        }
        v->paused_ = paused;
    }
    v->changed_.notify_all();
    return VLC_SUCCESS;
}

void Visualization::feed(const block_t *block)
{
    const int64_t count = block->i_nb_samples;
    if (count <= 0)
        return;
    Block b;
    // VLC orders channels with the front pair first; a mono stream has one.
    b.stereo.resize(static_cast<size_t>(2 * count));
    const auto *in = reinterpret_cast<const float *>(block->p_buffer);
    const int right = channels_ > 1 ? 1 : 0;
    for (int64_t i = 0; i < count; ++i) {
        b.stereo[static_cast<size_t>(2 * i)] = in[i * channels_];
        b.stereo[static_cast<size_t>(2 * i + 1)] = in[i * channels_ + right];
    }
    b.pts = block->i_pts;
    b.length = block->i_length > 0 ? block->i_length : count * CLOCK_FREQ / rate_;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        b.generation = generation_;
    }
    if (b.generation != seen_) { // the first block, or the first after a flush
        const int64_t at = streamSample();
        next_ = at >= 0 ? at : next_;
        expected_ = VLC_TS_INVALID;
        seen_ = b.generation;
    }
    const vlc_tick_t moved = expected_ != VLC_TS_INVALID ? b.pts - expected_ : 0;
    expected_ = b.pts + b.length;
    b.start = next_;
    next_ += count;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        // What the blocks before this one play later by than they were
        // dated: the rest of a pause already measured, or a jump in the dates.
        if (credit_ != 0 || std::abs(moved) > kJitter)
            shift_ += moved - credit_;
        credit_ = 0;
        b.shift = shift_;
        queued_ += count;
        blocks_.push_back(std::move(b));
        while (queued_ > kMaxQueuedSeconds * rate_ && blocks_.size() > 1) {
            queued_ -= static_cast<int64_t>(blocks_.front().stereo.size() / 2);
            blocks_.pop_front();
        }
    }
    changed_.notify_all();
}

void Visualization::flush()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        blocks_.clear();
        queued_ = 0;
        ++generation_;
    }
    changed_.notify_all();
}

void Visualization::drain()
{
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait_for(hold, std::chrono::seconds(kMaxQueuedSeconds),
                      [this] { return (blocks_.empty() && !busy_) || quit_; });
    const vlc_tick_t last = last_;
    hold.unlock();
    // The last picture shows at its date.
    if (last != VLC_TS_INVALID)
        mwait(std::min(last + CLOCK_FREQ / fps_.num, mdate() + CLOCK_FREQ));
}

void Visualization::run()
{
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        busy_ = false;
        changed_.notify_all();
        changed_.wait(hold, [this] { return quit_ || !blocks_.empty(); });
        if (quit_)
            return;
        const Block block = std::move(blocks_.front());
        blocks_.pop_front();
        queued_ -= static_cast<int64_t>(block.stereo.size() / 2);
        busy_ = true;
        hold.unlock();
        play(block);
        hold.lock();
    }
}

void Visualization::play(const Block &block)
{
    if (block.generation != placed_) {
        frames_.reset(); // forget the audio before the flush
        placed_ = block.generation;
    }
    frames_.place(block.start);
    frames_.append(block.stereo.data(), static_cast<int64_t>(block.stereo.size() / 2), 2, qvhost::SampleFormat::F32,
                   [&](int64_t n) { return show(n, block); });
}

bool Visualization::show(int64_t n, const Block &block)
{
    // The frame's moment within the block, in the block's time.
    const int64_t count = static_cast<int64_t>(block.stereo.size() / 2);
    const vlc_tick_t within =
        (qvhost::FrameSample(n, rate_, fps_) - block.start) * block.length / std::max<int64_t>(count, 1);
    vlc_tick_t date;
    {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            if (quit_ || generation_ != block.generation)
                return false;
            date = block.pts + within + (shift_ - block.shift);
            const vlc_tick_t wait = date - kLead - mdate();
            if (paused_)
                changed_.wait(hold);
            else if (wait > 0)
                changed_.wait_for(hold, std::chrono::microseconds(wait));
            else
                break;
        }
    }
    if (!failed_ && !(dropLate_ && date + kLate < mdate()))
        draw(n, date);
    return true;
}

void Visualization::draw(int64_t n, vlc_tick_t date)
{
    picture_t *picture = vout_GetPicture(vout_); // waits for a free one
    if (!picture)
        return;
    const plane_t &plane = picture->p[0];
    bool lent = false;
    try {
        thread_.run([&] {
            lent = visual_->drawFrame(n, fps_, frames_.audio(), rate_, plane.p_pixels, plane.i_pitch);
        });
    } catch (const std::exception &e) {
        picture_Release(picture);
        msg_Err(filter_, "%s", e.what());
        failed_ = true; // the sound plays on, the last picture stays
        return;
    }
    // The port may read the last picture drawn into until the next is drawn.
    if (previous_)
        picture_Release(previous_);
    previous_ = lent ? picture_Hold(picture) : nullptr;
    picture->date = date;
    // vout_GetPicture marks pictures interlaced; VLC's automatic
    // deinterlacing would then blend the lines of every frame.
    picture->b_progressive = true;
    vout_PutPicture(vout_, picture);
    std::lock_guard<std::mutex> hold(mutex_);
    last_ = date;
}

} // namespace qvvlc
