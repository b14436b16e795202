#include "host/video/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/common/host_error.h"

namespace qvhost {
namespace {

std::string DirectoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempPathFor(const std::string &finalPath)
{
    const std::string dir = DirectoryOf(finalPath);
    return (finalPath.find('/') == std::string::npos ? std::string() : dir + "/") + "." + BaseOf(finalPath) +
           ".partial-" + std::to_string(getpid());
}

bool EndsWithNoCase(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// The same file: by device and inode where both exist, else by resolved path.
bool SameFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    namespace fs = std::filesystem;
    std::error_code ea, eb;
    const fs::path ra = fs::weakly_canonical(a, ea), rb = fs::weakly_canonical(b, eb);
    return !ea && !eb && ra == rb;
}

} // namespace

std::optional<std::string> FormatFramePattern(const std::string &pattern, int64_t n)
{
    std::string out;
    int directives = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        ++i;
        if (i < pattern.size() && pattern[i] == '%') {
            out += '%';
            continue;
        }
        int width = 0;
        if (i < pattern.size() && pattern[i] == '0') {
            ++i;
            int digits = 0;
            while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i])) && digits < 2) {
                width = width * 10 + (pattern[i] - '0');
                ++i;
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
        }
        if (i >= pattern.size() || pattern[i] != 'd')
            return std::nullopt;
        ++directives;
        char buf[48];
        std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(n));
        out += buf;
    }
    if (directives != 1)
        return std::nullopt;
    return out;
}

bool IsFramePattern(const std::string &pattern)
{
    return FormatFramePattern(pattern, 0).has_value();
}

bool OutputNamesFile(const std::string &output, OutputKind kind, const std::string &input)
{
    if (kind != OutputKind::PngSequence)
        return SameFile(output, input);
    // A frame's name holds its number: try each number in the input's path,
    // as given and resolved.
    std::error_code ignored;
    for (const std::string &name : {input, std::filesystem::weakly_canonical(input, ignored).string()}) {
        for (size_t at = 0; (at = name.find_first_of("0123456789", at)) != std::string::npos;) {
            const size_t end = std::min(name.find_first_not_of("0123456789", at), name.size());
            const std::string digits = name.substr(at, std::min<size_t>(end - at, 18));
            if (SameFile(*FormatFramePattern(output, std::stoll(digits)), input))
                return true;
            at = end;
        }
    }
    return false;
}

OutputKind ClassifyOutput(const std::string &out, bool still)
{
    if (out.empty())
        throw UsageError("-o: an output file name is needed");
    if (out.back() == '/')
        throw UsageError(out + ": names a directory; give a file name");
    if (still) {
        if (out.find('%') != std::string::npos && IsFramePattern(out))
            throw UsageError(out + ": --frame writes one PNG; give a file name, not a pattern");
        if (EndsWithNoCase(out, ".mp4"))
            throw UsageError(out + ": --frame writes a PNG, not an MP4");
        return OutputKind::Still;
    }
    if (out.find('%') != std::string::npos) {
        if (!IsFramePattern(out))
            throw UsageError(out + ": a frame pattern needs exactly one %d (or %0Nd), other '%' written as %%");
        return OutputKind::PngSequence;
    }
    if (EndsWithNoCase(out, ".mp4"))
        return OutputKind::Mp4;
    throw UsageError(out + ": unknown kind of output; use NAME.mp4, a PNG pattern such as frames/%04d.png, "
                           "or --frame N with NAME.png");
}

OutputFiles::~OutputFiles()
{
    if (!committed_)
        discard();
}

void OutputFiles::CheckWritable(const std::string &finalPath)
{
    struct stat st;
    if (stat(finalPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw HostError(finalPath + ": is a directory");
    const std::string dir = DirectoryOf(finalPath);
    if (stat(dir.c_str(), &st) != 0)
        throw HostError(finalPath + ": directory " + dir + " does not exist");
    if (!S_ISDIR(st.st_mode))
        throw HostError(finalPath + ": " + dir + " is not a directory");
    // The one sure test of writability is to make a file there.
    const std::string probe = TempPathFor(finalPath) + "-probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw HostError(finalPath + ": cannot write in " + dir + " (" + std::strerror(errno) + ")");
    close(fd);
    unlink(probe.c_str());
}

std::string OutputFiles::add(const std::string &finalPath)
{
    finals_.push_back(finalPath);
    temps_.push_back(TempPathFor(finalPath));
    return temps_.back();
}

void OutputFiles::commit()
{
    for (size_t i = 0; i < temps_.size(); ++i) {
        if (rename(temps_[i].c_str(), finals_[i].c_str()) != 0) {
            const std::string why = std::strerror(errno);
            for (size_t j = 0; j < temps_.size(); ++j)
                unlink((j < i ? finals_[j] : temps_[j]).c_str());
            committed_ = true;
            throw HostError(finals_[i] + ": cannot be put in place (" + why + ")");
        }
    }
    committed_ = true;
}

void OutputFiles::discard()
{
    for (const std::string &t : temps_)
        unlink(t.c_str());
}

} // namespace qvhost
