// The files a render writes, first under temporary names beside their final
// ones, renamed into place only when the whole render has succeeded; on
// failure (or destruction without commit) the temporary files are removed,
// so no partial output is ever left behind.
//
// A temporary name is ".NAME.partial-PID-HOST-XXXXXX": hidden, NAME cut
// short where the whole would pass the file system's 255 bytes, the
// process and a tag of the machine that writes it, and six random
// characters; the file is created new (O_EXCL, O_NOFOLLOW), so nothing
// planted beforehand is followed. A process killed outright leaves its
// temporary files; the next render into that folder removes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/common/new_file.h"

namespace qvhost {

enum class OutputKind { Mp4, PngSequence, Still };

// What OUT asks for: `still` is --frame. Throws a usage HostError for an
// output of no known kind or a malformed %d pattern.
OutputKind ClassifyOutput(const std::string &out, bool still);

// A frame-number pattern: exactly one %d or %0Nd (N up to kMaxFrameDigits:
// a frame number never has more digits, so a wider pad only adds zeros);
// every other '%' doubled. Returns the name of frame `n`, or nullopt when
// the pattern is not one.
constexpr int kMaxFrameDigits = 19;
std::optional<std::string> FormatFramePattern(const std::string &pattern, int64_t n);
bool IsFramePattern(const std::string &pattern);

// Whether writing `output` (of `kind`; for a pattern, any of its frames)
// would replace the existing file `input`: the same file under any name,
// through a link or another spelling of its path.
bool OutputNamesFile(const std::string &output, OutputKind kind, const std::string &input);

class OutputFiles {
public:
    OutputFiles() = default;
    ~OutputFiles(); // removes what was not committed
    OutputFiles(const OutputFiles &) = delete;
    OutputFiles &operator=(const OutputFiles &) = delete;

    // Checks that `finalPath` can be written: its name and path are not too
    // long, its directory exists and takes a new file, and the path is not
    // a directory. Throws HostError naming `finalPath` and the reason.
    static void CheckWritable(const std::string &finalPath);
    // Removes the temporary files in `directory` that a process of this
    // machine and user left when it was killed: only regular files named
    // as above whose process is gone.
    static void RemoveStale(const std::string &directory);

    // Creates the temporary file for `finalPath`; its descriptor is for the
    // caller to write. Throws HostError naming `finalPath`.
    FileDescriptor add(const std::string &finalPath);
    // Renames every file into place, after their data is on the disk (a
    // writer syncs the one file it writes; files of a sequence are synced
    // here, all at once). Throws HostError if a rename fails: the files not
    // yet renamed are removed, those already in place stay.
    void commit();
    // Removes every temporary file now.
    void discard();

    const std::vector<std::string> &finalPaths() const { return finals_; }

private:
    std::vector<std::string> finals_, temps_;
    bool committed_ = false;
};

} // namespace qvhost
