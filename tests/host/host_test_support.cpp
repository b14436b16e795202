#include "host_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "host/SpectrumAnalyzer.h"

extern char **environ;

namespace qvhosttest {
namespace {

void RemoveTree(const std::string &path)
{
    DIR *d = opendir(path.c_str());
    if (d) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "/" + name;
            struct stat st;
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                RemoveTree(child);
            else
                unlink(child.c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

std::vector<std::string> Environment(const std::map<std::string, std::string> &extra)
{
    std::map<std::string, std::string> all;
    for (char **e = environ; *e; ++e) {
        const char *eq = std::strchr(*e, '=');
        if (eq)
            all[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    // LeakSanitizer (GCC 12's, with glibc 2.36) can crash in its own leak
    // check ("Tracer caught signal 11") while it walks the dynamic TLS it
    // recorded for libLLVM behind llvmpipe, depending on the heap layout.
    // Programs run by the tests do without that record; their leak check
    // stays on.
    all["ASAN_OPTIONS"] = all.count("ASAN_OPTIONS") ? all["ASAN_OPTIONS"] + ":intercept_tls_get_addr=0"
                                                    : "intercept_tls_get_addr=0";
    for (const auto &kv : extra)
        all[kv.first] = kv.second;
    std::vector<std::string> out;
    for (const auto &kv : all)
        out.push_back(kv.first + "=" + kv.second);
    return out;
}

int Spawn(const std::string &program, const std::vector<std::string> &args,
          const std::map<std::string, std::string> &env, const std::string &out, const std::string &err)
{
    std::vector<std::string> envStrings = Environment(env);
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    // fork and exec rather than posix_spawn: glibc's posix_spawn leaves its
    // internal signals ignored in the child, which upsets LeakSanitizer's
    // leak check in the sanitized program. Only async-signal-safe calls
    // between fork and exec.
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0)
            _exit(127);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

int DecodeStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qvhost-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> out;
    DIR *d = opendir(path_.c_str());
    if (!d)
        return out;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            out.push_back(name);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

qvhost::AudioClip MakeClip(int rate, double seconds, const std::function<float(int, double)> &f)
{
    qvhost::AudioClip clip;
    clip.sampleRate = rate;
    const size_t n = static_cast<size_t>(std::llround(seconds * rate));
    for (int c = 0; c < 2; ++c) {
        clip.channels[c].resize(n);
        for (size_t i = 0; i < n; ++i)
            clip.channels[c][i] = f(c, static_cast<double>(i) / rate);
    }
    return clip;
}

float BinSine(int bin, int rate, double t, float amplitude)
{
    const double hz = static_cast<double>(bin) * rate / qvhost::kAnalysisSize;
    return amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * t));
}

void WriteAudio(const std::string &path, const qvhost::AudioClip &clip, int channels, int format)
{
    SF_INFO info{};
    info.samplerate = clip.sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved;
    for (int64_t i = 0; i < clip.frames(); ++i)
        for (int c = 0; c < channels; ++c)
            interleaved.push_back(clip.channels[c][static_cast<size_t>(i)]);
    sf_writef_float(f, interleaved.data(), clip.frames());
    sf_close(f);
}

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

RunResult RunProgram(const std::string &program, const std::vector<std::string> &args,
              const std::map<std::string, std::string> &env, std::chrono::seconds timeout)
{
    TempDir io;
    const int pid = Spawn(program, args, env, io / "out", io / "err");
    RunResult r;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            r.status = DecodeStatus(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.out = ReadText(io / "out");
    r.err = ReadText(io / "err");
    return r;
}

Child::Child(const std::string &program, const std::vector<std::string> &args,
             const std::map<std::string, std::string> &env, const std::string &outputFile)
{
    pid_ = Spawn(program, args, env, outputFile, outputFile == "/dev/null" ? outputFile : outputFile + ".err");
}

Child::~Child()
{
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
    }
}

bool Child::running()
{
    if (reaped_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = DecodeStatus(status);
        return false;
    }
    return true;
}

int Child::wait(std::chrono::milliseconds timeout)
{
    WaitFor([this] { return !running(); }, timeout);
    return reaped_ ? status_ : -1;
}

bool WaitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> ReadLog(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> LogNames(const std::vector<std::string> &lines)
{
    std::vector<std::string> out;
    for (const std::string &l : lines)
        out.push_back(l.substr(0, l.find(' ')));
    return out;
}

std::string Field(const std::string &line, const std::string &key)
{
    const std::string tag = " " + key + "=";
    const size_t at = line.find(tag);
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + tag.size();
    return line.substr(start, line.find(' ', start) - start);
}

int PeakBin(const std::string &line, int c)
{
    return std::stoi(Field(line, "p" + std::to_string(c)));
}

int PeakValue(const std::string &line, int c)
{
    const std::string f = Field(line, "p" + std::to_string(c));
    return std::stoi(f.substr(f.find(':') + 1));
}

std::string ProgramPath() { return QV_TEST_PROGRAM; }
std::string BundlePath() { return QV_TEST_BUNDLE; }
std::string SpyBundlePath() { return QV_TEST_SPY_BUNDLE; }
std::string NoEntryBundlePath() { return QV_TEST_NO_ENTRY_BUNDLE; }

std::string FindTool(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

} // namespace qvhosttest
