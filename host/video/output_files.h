// The files a render writes, first under temporary names beside their final
// ones (".NAME.partial-PID"), renamed into place only when the whole render
// has succeeded; on failure (or destruction without commit) the temporary
// files are removed, so no partial output is ever left behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvhost {

enum class OutputKind { Mp4, PngSequence, Still };

// What OUT asks for: `still` is --frame. Throws a usage HostError for an
// output of no known kind or a malformed %d pattern.
OutputKind ClassifyOutput(const std::string &out, bool still);

// A frame-number pattern: exactly one %d or %0Nd (N up to 2 digits); every
// other '%' doubled. Returns the name of frame `n`, or nullopt when the
// pattern is not one.
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

    // Checks that `finalPath` can be written: its directory exists and takes
    // a new file, and the path is not a directory. Throws HostError naming
    // `finalPath` and the reason.
    static void CheckWritable(const std::string &finalPath);

    // Registers a file to write; returns the temporary path to write it to.
    std::string add(const std::string &finalPath);
    // Renames every file into place. Throws HostError if a rename fails
    // (the files not yet renamed are removed).
    void commit();
    // Removes every temporary file now.
    void discard();

    const std::vector<std::string> &finalPaths() const { return finals_; }

private:
    std::vector<std::string> finals_, temps_;
    bool committed_ = false;
};

} // namespace qvhost
