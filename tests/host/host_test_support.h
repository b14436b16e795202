// Helpers for the host program's tests: temporary directories, audio files
// made from generated signals, running the program and reading the spy
// bundle's log.
#pragma once

#include <sndfile.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/AudioClip.h"

namespace qvhosttest {

// A fresh directory, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    // Names of the entries (files and directories, dot-files included).
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// A stereo clip of `seconds` at `rate` whose samples are f(channel, t).
qvhost::AudioClip MakeClip(int rate, double seconds, const std::function<float(int, double)> &f);
// A sine of `amplitude` whose frequency is the centre of analysis bin `bin`.
float BinSine(int bin, int rate, double t, float amplitude = 1.0f);
// Writes `clip` (`channels` 1 or 2: mono takes the left channel) with
// libsndfile in `format` (e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16).
void WriteAudio(const std::string &path, const qvhost::AudioClip &clip, int channels = 2,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16);
void WriteText(const std::string &path, const std::string &text);
std::string ReadText(const std::string &path);
bool Exists(const std::string &path);

struct RunResult {
    int status = -1; // exit status, or -1 when killed
    std::string out;
    std::string err;
};

// Runs `program` with `args`, extra environment `env`, waiting at most
// `timeout` (then kills it).
RunResult RunProgram(const std::string &program, const std::vector<std::string> &args,
              const std::map<std::string, std::string> &env = {},
              std::chrono::seconds timeout = std::chrono::seconds(120));

// A started child process that is killed (if still running) at the end.
class Child {
public:
    Child(const std::string &program, const std::vector<std::string> &args,
          const std::map<std::string, std::string> &env = {}, const std::string &outputFile = "/dev/null");
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    int pid() const { return pid_; }
    bool running();
    // Waits up to `timeout` for the exit; returns its status or -1.
    int wait(std::chrono::milliseconds timeout);

private:
    int pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
};

// Polls `condition` every 50 ms until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout);

// The spy bundle's log, one message per entry.
std::vector<std::string> ReadLog(const std::string &path);
// Only the message names (first word of each line).
std::vector<std::string> LogNames(const std::vector<std::string> &lines);
// The value of `key=` in a "vrnd" line ("p0" gives "bin:value").
std::string Field(const std::string &line, const std::string &key);
// Peak bin of channel `c` in a "vrnd" line.
int PeakBin(const std::string &line, int c = 0);
int PeakValue(const std::string &line, int c = 0);

// Paths set by the build.
std::string ProgramPath();
std::string BundlePath();
std::string SpyBundlePath();
std::string NoEntryBundlePath();
// The absolute path of an executable on PATH, or "".
std::string FindTool(const std::string &name);

} // namespace qvhosttest
