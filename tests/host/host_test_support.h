// Helpers for the host program's tests: temporary directories, audio files of
// generated signals, running programs, the log of the spy bundle
// (spy_bundle.cpp), and what libavformat finds in the videos the program writes.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}
#include <fcntl.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioClip.h"
#include "host/SpectrumAnalyzer.h"

extern char **environ;

namespace qvhosttest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Set by the build.
inline std::string ProgramPath() { return QV_TEST_PROGRAM; }
inline std::string BundlePath() { return QV_TEST_BUNDLE; }
inline std::string SpyBundlePath() { return QV_TEST_SPY_BUNDLE; }
inline std::string NoEntryBundlePath() { return QV_TEST_NO_ENTRY_BUNDLE; }

// A fresh directory, removed with its contents at the end.
struct TempDir {
    TempDir() { mkdtemp(path_.data()); }
    ~TempDir() { fs::remove_all(path_, ignored_); }
    TempDir(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    Lines entries() const // sorted
    {
        Lines out;
        for (const auto &e : fs::directory_iterator(path_))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string path_ = (fs::temp_directory_path() / "qvhost-test-XXXXXX").string();
    std::error_code ignored_;
};

inline void WriteText(const std::string &path, const std::string &text) { std::ofstream(path) << text; }
inline std::string ReadText(const std::string &path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

// A stereo clip of `seconds` at `rate` whose samples are f(channel, t).
inline qvhost::AudioClip MakeClip(int rate, double seconds, const std::function<float(int, double)> &f)
{
    qvhost::AudioClip clip;
    clip.sampleRate = rate;
    for (int c = 0; c < 2; ++c)
        for (long i = 0; i < std::lround(seconds * rate); ++i)
            clip.channels[c].push_back(f(c, static_cast<double>(i) / rate));
    return clip;
}
// A sine at the centre frequency of analysis bin `bin`.
inline float BinSine(int bin, int rate, double t, float amplitude = 1.0f)
{
    return amplitude * static_cast<float>(std::sin(2.0 * M_PI * bin * rate / qvhost::kAnalysisSize * t));
}
inline qvhost::AudioClip Tone(int bin, int rate, double seconds, float amplitude = 1.0f)
{
    return MakeClip(rate, seconds, [=](int, double t) { return BinSine(bin, rate, t, amplitude); });
}
// Writes `clip` with libsndfile; mono takes the left channel.
inline void WriteAudio(const std::string &path, const qvhost::AudioClip &clip, int channels = 2,
                       int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info{0, clip.sampleRate, channels, format, 0, 0};
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> interleaved;
    for (size_t i = 0; i < clip.channels[0].size(); ++i)
        for (int c = 0; c < channels; ++c)
            interleaved.push_back(clip.channels[c][i]);
    sf_writef_float(f, interleaved.data(), clip.frames());
    sf_close(f);
}

// Polls `condition` every 50 ms until it holds or `timeout` passes.
inline bool WaitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    for (const auto end = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(50ms))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

// A child process with `env` added to the environment, standard output to
// `out` and standard error to `out`.err; killed if still running at the end.
class Child {
public:
    Child(const std::string &program, Lines args, const std::map<std::string, std::string> &env = {},
          const std::string &out = "/dev/null")
    {
        // LeakSanitizer (GCC 12's, glibc 2.36) can crash in its own leak check
        // while it walks the dynamic TLS it recorded for llvmpipe's libLLVM; the
        // programs run here do without that record, their leak check stays on.
        std::map<std::string, std::string> all;
        for (char **e = environ; *e; ++e)
            all[std::string(*e, std::strchr(*e, '='))] = std::strchr(*e, '=') + 1;
        all["ASAN_OPTIONS"] += ":intercept_tls_get_addr=0";
        for (const auto &kv : env)
            all[kv.first] = kv.second;
        Lines strings;
        for (const auto &kv : all)
            strings.push_back(kv.first + "=" + kv.second);
        std::vector<char *> argv{const_cast<char *>(program.c_str())}, envp;
        for (std::string &a : args)
            argv.push_back(a.data());
        for (std::string &e : strings)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const std::string err = out == "/dev/null" ? out : out + ".err";
        // fork and exec rather than posix_spawn, whose child keeps glibc's
        // internal signals ignored, which upsets LeakSanitizer there. Only
        // async-signal-safe calls between fork and exec.
        if ((pid_ = fork()) == 0) {
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (dup2(open("/dev/null", O_RDONLY), 0) == 0 && dup2(creat(out.c_str(), 0644), 1) == 1 &&
                dup2(creat(err.c_str(), 0644), 2) == 2)
                execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
    }
    ~Child()
    {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int pid() const { return pid_; }
    bool running()
    {
        int status = 0;
        if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return !reaped_;
    }
    // The exit status; -1 when killed by a signal or still running after `timeout`.
    int wait(std::chrono::milliseconds timeout) { return WaitFor([this] { return !running(); }, timeout) ? status_ : -1; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
};

struct RunResult {
    int status; // as Child::wait gives it
    std::string out, err;
};
inline RunResult Execute(const std::string &program, const Lines &args, const std::map<std::string, std::string> &env = {},
                     std::chrono::seconds timeout = 120s)
{
    TempDir io;
    const int status = Child(program, args, env, io / "out").wait(timeout);
    return RunResult{status, ReadText(io / "out"), ReadText(io / "out.err")};
}
// The path of a program on PATH, or "".
inline std::string FindTool(const std::string &name)
{
    const std::string path = Execute("/bin/sh", {"-c", "command -v " + name}).out;
    return path.substr(0, path.find('\n'));
}

// The spy bundle's log, its lines' first words (the messages), and their last `n`.
inline Lines ReadLog(const std::string &path)
{
    Lines lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
inline Lines LogNames(const std::string &path)
{
    Lines names = ReadLog(path);
    for (std::string &l : names)
        l = l.substr(0, l.find(' '));
    return names;
}
inline Lines Last(const Lines &v, size_t n) { return Lines(v.end() - std::min(n, v.size()), v.end()); }
// The value of `key=` in a "vrnd" line.
inline std::string Field(const std::string &line, const std::string &key)
{
    const size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + key.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}
// Channel `c`'s peak bin and channel 0's peak byte in a "vrnd" line.
inline int PeakBin(const std::string &line, int c = 0) { return std::stoi(Field(line, "p" + std::to_string(c))); }
inline int PeakByte(const std::string &line) { return std::stoi(Field(line, "p0").substr(Field(line, "p0").find(':') + 1)); }

struct VideoInfo {
    int videoStreams = 0, audioStreams = 0, width = 0, height = 0, audioRate = 0, audioChannels = 0;
    int64_t videoPackets = 0;
    double videoSeconds = 0, audioSeconds = 0;
    std::string videoCodec, audioCodec;
};
inline VideoInfo ReadVideo(const std::string &path)
{
    VideoInfo v;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return v;
    avformat_find_stream_info(fmt, nullptr);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters *p = fmt->streams[i]->codecpar;
        const double seconds = fmt->streams[i]->duration * av_q2d(fmt->streams[i]->time_base);
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++v.videoStreams;
            v.width = p->width;
            v.height = p->height;
            v.videoSeconds = seconds;
            v.videoCodec = avcodec_get_name(p->codec_id);
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++v.audioStreams;
            v.audioRate = p->sample_rate;
            v.audioChannels = p->ch_layout.nb_channels;
            v.audioSeconds = seconds;
            v.audioCodec = avcodec_get_name(p->codec_id);
        }
    }
    AVPacket *pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        v.videoPackets += fmt->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return v;
}

} // namespace qvhosttest
