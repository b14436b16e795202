#include "host/video/output_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

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

constexpr char kPartial[] = ".partial-";
constexpr size_t kRandomLength = 6; // CreateNewFile's

// This machine's tag in temporary names (FNV-1a of its host name, 8 hex
// digits): on a folder shared between machines, whether a process lives is
// known only for this machine's own.
std::string HostTag()
{
    char name[HOST_NAME_MAX + 1] = {0};
    gethostname(name, sizeof name - 1);
    uint32_t hash = 2166136261u;
    for (const char *c = name; *c; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    char tag[9];
    std::snprintf(tag, sizeof tag, "%08x", hash);
    return tag;
}

// The temporary name of `finalPath` up to its random characters.
std::string TempPrefix(const std::string &finalPath)
{
    const std::string suffix = kPartial + std::to_string(getpid()) + "-" + HostTag() + "-";
    const std::string base = BaseOf(finalPath).substr(0, NAME_MAX - 1 - suffix.size() - kRandomLength);
    return (finalPath.find('/') == std::string::npos ? std::string() : DirectoryOf(finalPath) + "/") + "." + base +
           suffix;
}

// The process that wrote the temporary file `name` when it is one of this
// machine's, else 0.
pid_t TempFileProcess(const std::string &name, const std::string &hostTag)
{
    const size_t at = name.rfind(kPartial);
    if (name.empty() || name[0] != '.' || at == std::string::npos)
        return 0;
    const std::string rest = name.substr(at + sizeof kPartial - 1); // PID-HOST-XXXXXX
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 9 || rest.size() != dash + 1 + 8 + 1 + kRandomLength ||
        rest.compare(dash + 1, 8, hostTag) != 0 || rest[dash + 9] != '-' ||
        !std::all_of(rest.begin(), rest.begin() + static_cast<long>(dash),
                     [](char c) { return c >= '0' && c <= '9'; }) ||
        !std::all_of(rest.end() - kRandomLength, rest.end(), [](char c) { return std::isalnum(c & 0xFF); }))
        return 0;
    return static_cast<pid_t>(std::stol(rest.substr(0, dash)));
}

bool EndsWithNoCase(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
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
            if (digits == 0 || width > kMaxFrameDigits)
                return std::nullopt;
        }
        if (i >= pattern.size() || pattern[i] != 'd')
            return std::nullopt;
        ++directives;
        char buf[kMaxFrameDigits + 2];
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
            throw UsageError(out + ": a frame pattern needs exactly one %d (or %0Nd, N up to " +
                             std::to_string(kMaxFrameDigits) + "), other '%' written as %%");
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
    const bool exists = stat(finalPath.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw HostError(finalPath + ": is a directory");
    if (!exists && errno == ENAMETOOLONG) // a name or the whole path
        throw HostError(finalPath + ": " + std::strerror(errno));
    const std::string dir = DirectoryOf(finalPath);
    if (stat(dir.c_str(), &st) != 0)
        throw HostError(finalPath + ": directory " + dir +
                        (errno == ENOENT ? std::string(" does not exist") : ": " + std::string(std::strerror(errno))));
    if (!S_ISDIR(st.st_mode))
        throw HostError(finalPath + ": " + dir + " is not a directory");
    // The one sure test of writability is to make a file there.
    std::string probe;
    if (!CreateNewFile(TempPrefix(finalPath), 0600, &probe).valid())
        throw HostError(finalPath + ": cannot write in " + dir + " (" + std::strerror(errno) + ")");
    unlink(probe.c_str());
}

void OutputFiles::RemoveStale(const std::string &directory)
{
    DIR *dir = opendir(directory.c_str());
    if (!dir)
        return;
    const std::string tag = HostTag();
    while (const dirent *entry = readdir(dir)) {
        const pid_t pid = TempFileProcess(entry->d_name, tag);
        struct stat st;
        if (pid > 0 && pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH &&
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == geteuid())
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

FileDescriptor OutputFiles::add(const std::string &finalPath)
{
    std::string temp;
    FileDescriptor fd = CreateNewFile(TempPrefix(finalPath), 0666, &temp);
    if (!fd.valid())
        throw HostError(finalPath + ": cannot be written (" + std::strerror(errno) + ")");
    finals_.push_back(finalPath);
    temps_.push_back(temp);
    return fd;
}

void OutputFiles::commit()
{
    committed_ = true;
    std::set<std::string> dirs;
    for (const std::string &f : finals_)
        dirs.insert(DirectoryOf(f));
    if (temps_.size() > 1)
        for (const std::string &d : dirs)
            if (const FileDescriptor fd(open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); fd.valid())
                syncfs(fd.get());
    for (size_t i = 0; i < temps_.size(); ++i) {
        if (rename(temps_[i].c_str(), finals_[i].c_str()) != 0) {
            const std::string why = std::strerror(errno);
            for (size_t j = i; j < temps_.size(); ++j)
                unlink(temps_[j].c_str());
            throw HostError(finals_[i] + ": cannot be put in place (" + why + ")" +
                            (i > 0 ? "; the " + std::to_string(i) + " before it are in place" : ""));
        }
    }
    // The new names on the disk too.
    for (const std::string &d : dirs)
        if (const FileDescriptor fd(open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); fd.valid())
            fsync(fd.get());
}

void OutputFiles::discard()
{
    for (const std::string &t : temps_)
        unlink(t.c_str());
}

} // namespace qvhost
