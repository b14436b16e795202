#include "host/audio/av_file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

namespace qvhost {
namespace {

constexpr int kBufferSize = 1 << 16;

struct Descriptor {
    int fd;
    int64_t position;
};

int ReadAt(void *opaque, uint8_t *buffer, int size)
{
    auto *d = static_cast<Descriptor *>(opaque);
    ssize_t n;
    do
        n = pread(d->fd, buffer, static_cast<size_t>(size), d->position);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return AVERROR(errno);
    if (n == 0)
        return AVERROR_EOF;
    d->position += n;
    return static_cast<int>(n);
}

int WriteAt(void *opaque, uint8_t *buffer, int size)
{
    auto *d = static_cast<Descriptor *>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n = pwrite(d->fd, buffer + done, static_cast<size_t>(size - done), d->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return AVERROR(n < 0 ? errno : EIO);
        done += static_cast<int>(n);
        d->position += n;
    }
    return size;
}

int64_t Seek(void *opaque, int64_t offset, int whence)
{
    auto *d = static_cast<Descriptor *>(opaque);
    struct stat st;
    if ((whence & AVSEEK_SIZE) || (whence & ~AVSEEK_FORCE) == SEEK_END) {
        if (fstat(d->fd, &st) != 0)
            return AVERROR(errno);
        if (whence & AVSEEK_SIZE)
            return st.st_size;
    }
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += d->position;
        break;
    case SEEK_END:
        offset += st.st_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    return d->position = offset;
}

int OpenOwnOutput(AVFormatContext *format, AVIOContext **io, const char *url, int flags, AVDictionary **)
{
    const int *fd = static_cast<const int *>(format->opaque);
    if (!fd || (flags & AVIO_FLAG_WRITE) || !format->url || std::strcmp(url, format->url) != 0)
        return AVERROR(EPERM);
    *io = OpenDescriptorIo(*fd, false);
    return *io ? 0 : AVERROR(ENOMEM);
}

int CloseOwnOutput(AVFormatContext *, AVIOContext *io)
{
    CloseDescriptorIo(&io);
    return 0;
}

} // namespace

AVIOContext *OpenDescriptorIo(int fd, bool write)
{
    auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
    auto *d = new Descriptor{fd, 0};
    AVIOContext *io = buffer ? avio_alloc_context(buffer, kBufferSize, write, d, write ? nullptr : ReadAt,
                                                  write ? WriteAt : nullptr, Seek)
                             : nullptr;
    if (!io) {
        av_free(buffer);
        delete d;
    }
    return io;
}

void CloseDescriptorIo(AVIOContext **io)
{
    if (!*io)
        return;
    delete static_cast<Descriptor *>((*io)->opaque);
    av_freep(&(*io)->buffer);
    avio_context_free(io);
}

void ConfineFormatIo(AVFormatContext *format, const int *fd)
{
    format->opaque = const_cast<int *>(fd);
    format->io_open = OpenOwnOutput;
    format->io_close2 = CloseOwnOutput;
}

} // namespace qvhost
