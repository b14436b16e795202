#include "host/audio_clip.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/host_error.h"

namespace qvhost {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

HostError FileError(const std::string &path, const std::string &reason) { return HostError(path + ": " + reason); }

// libsndfile's MP3 decoder (libmpg123) writes notes about damaged frames
// ("Note: Trying to resync...") to standard error, and offers no way to turn
// them off. While alive, standard error goes nowhere; what went wrong is
// reported once, by the error this file throws.
class QuietStderr {
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~QuietStderr()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr &) = delete;
    QuietStderr &operator=(const QuietStderr &) = delete;

private:
    int saved_ = -1;
};

// Checks what the file system can tell before libsndfile is asked: the path
// names a non-empty regular file we may open. Returns its size.
int64_t CheckRegularFile(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw FileError(path, std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw FileError(path, "is a directory, not an audio file");
    if (!S_ISREG(st.st_mode))
        throw FileError(path, "is not a regular file");
    FILE *probe = std::fopen(path.c_str(), "rb");
    if (!probe)
        throw FileError(path, std::string("cannot be read: ") + std::strerror(errno));
    std::fclose(probe);
    if (st.st_size == 0)
        throw FileError(path, "is empty");
    return static_cast<int64_t>(st.st_size);
}

uint32_t ReadLE32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint32_t ReadBE32(const unsigned char *p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// libsndfile quietly shortens RIFF and AIFF files whose data ends before the
// size the container declares; the declared size is compared here instead.
bool ContainerIsShort(const std::string &path, int64_t fileSize)
{
    unsigned char head[12];
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n < sizeof head)
        return false;
    int64_t declared = -1;
    if (std::memcmp(head, "RIFF", 4) == 0)
        declared = static_cast<int64_t>(ReadLE32(head + 4)) + 8;
    else if (std::memcmp(head, "FORM", 4) == 0)
        declared = static_cast<int64_t>(ReadBE32(head + 4)) + 8;
    // A pad byte after an odd-sized last chunk is often left off; allow it.
    return declared > fileSize + 1;
}

SndfilePtr OpenChecked(const std::string &path, SF_INFO &info, int64_t &fileSize)
{
    fileSize = CheckRegularFile(path);
    info = SF_INFO{};
    SndfilePtr file;
    {
        QuietStderr quiet;
        file.reset(sf_open(path.c_str(), SFM_READ, &info));
    }
    if (!file)
        throw FileError(path, std::string("not audio that can be decoded (") + sf_strerror(nullptr) + ")");
    if (info.channels != 1 && info.channels != 2)
        throw FileError(path, std::to_string(info.channels) + " channels; only mono and stereo are supported");
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate)
        throw FileError(path, "sample rate " + std::to_string(info.samplerate) + " Hz is not supported (" +
                                  std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " Hz)");
    if (info.frames <= 0)
        throw FileError(path, "holds no audio");
    if (ContainerIsShort(path, fileSize))
        throw FileError(path, "is truncated: the file ends before the size its header declares");
    return file;
}

} // namespace

void CheckAudioFile(const std::string &path)
{
    SF_INFO info;
    int64_t size;
    OpenChecked(path, info, size);
}

AudioClip DecodeAudioFile(const std::string &path)
{
    SF_INFO info;
    int64_t size;
    SndfilePtr file = OpenChecked(path, info, size);

    AudioClip clip;
    clip.sampleRate = info.samplerate;
    const int ch = info.channels;
    const sf_count_t chunk = 16384;
    std::vector<float> block(static_cast<size_t>(chunk) * ch);
    for (auto &c : clip.channels)
        c.reserve(static_cast<size_t>(info.frames));
    sf_count_t got;
    {
        QuietStderr quiet;
        while ((got = sf_readf_float(file.get(), block.data(), chunk)) > 0) {
            for (sf_count_t i = 0; i < got; ++i) {
                clip.channels[0].push_back(block[i * ch]);
                clip.channels[1].push_back(block[i * ch + (ch - 1)]);
            }
        }
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw FileError(path, std::string("is damaged or truncated (") + sf_strerror(file.get()) + ")");
    // MP3 frame counts are estimates from the bit rate; every other format
    // states its length exactly, so a shortfall means lost data.
    const bool lengthIsEstimate = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    if (!lengthIsEstimate && clip.frames() < info.frames)
        throw FileError(path, "is truncated: " + std::to_string(clip.frames()) + " of " +
                                  std::to_string(info.frames) + " sample frames could be decoded");
    if (clip.frames() == 0)
        throw FileError(path, "holds no audio");
    return clip;
}

} // namespace qvhost
