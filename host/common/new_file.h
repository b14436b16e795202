// Files the host creates for writing, made the safe way: a name no file had
// (six random characters chosen here), created with O_EXCL and O_NOFOLLOW,
// so that nothing planted under a predictable name (a symbolic link to
// someone's file) is ever followed or written into.
#pragma once

#include <sys/types.h>

#include <string>

namespace qvhost {

// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_;
};

// Creates `prefix` followed by six random letters or digits, a file that did
// not exist, for reading and writing with `mode` (less the umask). On
// failure the descriptor is invalid and errno says why. `*path` is the name.
FileDescriptor CreateNewFile(const std::string &prefix, mode_t mode, std::string *path);

} // namespace qvhost
