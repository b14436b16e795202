// Helpers for the host program's tests: temporary directories, audio files of
// generated signals (encoded by the ffmpeg program), running programs, the log of the spy bundle
// (spy_bundle.cpp) and what libavformat finds in the videos the program writes.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/visual/spectrum_analyzer.h"

namespace qvtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Env = std::map<std::string, std::string>;

// Set by the build.
inline const std::string kProgram = QV_TEST_PROGRAM, kBundle = QV_TEST_BUNDLE, kSpyBundle = QV_TEST_SPY_BUNDLE,
                         kNoEntryBundle = QV_TEST_NO_ENTRY_BUNDLE;

// A fresh directory, removed with its contents at the end.
struct TempDir {
    std::string path = (fs::temp_directory_path() / "qvhost-test-XXXXXX").string();
    TempDir() { mkdtemp(path.data()); }
    ~TempDir() { fs::remove_all(path, ignored); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    Lines entries() const // sorted
    {
        Lines out;
        for (const auto &e : fs::directory_iterator(path))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::error_code ignored;
};

inline void WriteText(const std::string &path, const std::string &text) { std::ofstream(path) << text; }
inline std::string ReadText(const std::string &path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

// A sine at the centre frequency of analysis bin `bin` at `rate`, on every channel.
inline std::function<float(int, double)> Tone(int bin, int rate, float amplitude = 1.0f)
{
    return
        [=](int, double t) { return amplitude * float(std::sin(2 * M_PI * bin * rate / qvhost::kAnalysisSize * t)); };
}

// Polls `condition` every 50 ms until it holds or `timeout` passes.
inline bool WaitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    for (const auto end = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(50ms))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

// A child process (`program` found on PATH) with `env` added to the
// environment, standard output to `out` and standard error to `out`.err, in
// folder `cwd` (empty: this one); killed if still running at the end. (The tests that start children run
// on one thread, so the child may allocate between fork and exec.)
class Child {
public:
    Child(const std::string &program, Lines args, const Env &env = {}, const std::string &out = "/dev/null",
          const std::string &cwd = "")
    {
        args.insert(args.begin(), program);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        // fork and exec, not posix_spawn: its child keeps glibc's internal
        // signals ignored, which upsets LeakSanitizer in a sanitized program.
        if ((pid_ = fork()) != 0)
            return;
        for (const auto &kv : env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        // LeakSanitizer (GCC 12's, glibc 2.36) can crash in its own leak check
        // while it walks the dynamic TLS it recorded for llvmpipe's libLLVM;
        // the programs run here do without that record. Their leak check stays on.
        const char *asan = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":intercept_tls_get_addr=0").c_str(), 1);
        // Anywhere but the build tree, so that nothing is found there by chance.
        if (chdir("/") != 0)
            _exit(127);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (freopen("/dev/null", "r", stdin) && freopen(out.c_str(), "w", stdout) &&
            freopen((out == "/dev/null" ? out : out + ".err").c_str(), "w", stderr) && (cwd.empty() || !chdir(cwd.c_str())))
            execvp(program.c_str(), argv.data());
        _exit(127);
    }
    ~Child()
    {
        if (!reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int pid() const { return pid_; }
    // The exit status; -1 when killed by a signal or still running after `timeout`.
    int wait(std::chrono::milliseconds timeout)
    {
        int status = 0;
        reaped_ = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        return reaped_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

struct RunResult {
    int status; // as Child::wait gives it
    std::string out, err;
};
inline RunResult Execute(const std::string &program, const Lines &args, const Env &env = {},
                         std::chrono::seconds timeout = 120s, const std::string &cwd = "")
{
    TempDir io;
    const int status = Child(program, args, env, io / "out", cwd).wait(timeout);
    return {status, ReadText(io / "out"), ReadText(io / "out.err")};
}
// Writes `seconds` of audio at `rate` whose samples are f(channel, t): the
// ffmpeg program encodes them as `path`'s extension says, with `codec`
// options such as {"-c:a", "flac"} (default: 16-bit PCM for .wav).
inline void WriteAudio(const std::string &path, int rate, double seconds, const std::function<float(int, double)> &f,
                       int channels = 2, const Lines &codec = {})
{
    std::vector<float> samples;
    for (long i = 0; i < std::lround(seconds * rate); ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(f(c, static_cast<double>(i) / rate));
    std::ofstream(path + ".raw", std::ios::binary)
        .write(reinterpret_cast<const char *>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
    Lines args = {"-nostdin", "-v", "error", "-y", "-f", "f32le", "-ar", std::to_string(rate), "-ac",
                  std::to_string(channels), "-i", path + ".raw"};
    args.insert(args.end(), codec.begin(), codec.end());
    args.push_back(path);
    const RunResult r = Execute("ffmpeg", args);
    fs::remove(path + ".raw");
    if (r.status != 0)
        throw std::runtime_error("ffmpeg could not write " + path + ": " + r.err);
}

// The spy bundle's log, and the messages (first words) of its lines.
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
// The peak bins of channels 0 and 1 and channel 0's peak byte in a "vrnd" line (or -1s).
inline std::array<int, 3> Peaks(const std::string &line)
{
    std::array<int, 3> p = {-1, -1, -1};
    std::sscanf(line.c_str(), "vrnd t=%*d sc=%*d p0=%d:%d p1=%d", &p[0], &p[2], &p[1]);
    return p;
}

// The streams of a video as libavformat finds them, such as
// "h264 96x64 60 frames 2.00 s, aac 44100 Hz 2 ch 2.000 s"; "" for no video file.
inline std::string VideoSummary(const std::string &path)
{
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return std::string();
    avformat_find_stream_info(fmt, nullptr);
    std::vector<long long> packets(fmt->nb_streams);
    AVPacket *pkt = av_packet_alloc();
    for (; av_read_frame(fmt, pkt) >= 0; av_packet_unref(pkt))
        ++packets[static_cast<size_t>(pkt->stream_index)];
    av_packet_free(&pkt);
    std::string summary;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters *p = fmt->streams[i]->codecpar;
        const double seconds = fmt->streams[i]->duration * av_q2d(fmt->streams[i]->time_base);
        char text[100];
        if (p->codec_type == AVMEDIA_TYPE_VIDEO)
            std::snprintf(text, sizeof text, "%s %dx%d %lld frames %.2f s", avcodec_get_name(p->codec_id), p->width,
                          p->height, packets[i], seconds);
        else
            std::snprintf(text, sizeof text, "%s %d Hz %d ch %.3f s", avcodec_get_name(p->codec_id), p->sample_rate,
                          p->ch_layout.nb_channels, seconds);
        summary += (i ? ", " : "") + std::string(text);
    }
    avformat_close_input(&fmt);
    return summary;
}

} // namespace qvtest
