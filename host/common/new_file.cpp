#include "host/common/new_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

namespace qvhost {

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void FileDescriptor::reset()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

FileDescriptor CreateNewFile(const std::string &prefix, mode_t mode, std::string *path)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return FileDescriptor();
        *path = prefix;
        for (const unsigned char r : random)
            *path += kLetters[r % (sizeof kLetters - 1)];
        const int fd = open(path->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return FileDescriptor(fd);
    }
    return FileDescriptor();
}

} // namespace qvhost
