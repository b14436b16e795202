// FFmpeg's reading and writing through a file descriptor the program opened
// and checked itself, never through a name: libavformat reads a name as a
// URL ("pipe:x.wav" is standard input, "01:intro.wav" a protocol), so a
// local file is opened here and handed over as its descriptor. What was
// checked is what is read or written.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace qvhost {

// An I/O context over `fd` (not owned; it must outlive the context) that
// reads, or with `write` writes, at a position of its own (pread, pwrite),
// so that several contexts can share one descriptor. Null when out of memory.
AVIOContext *OpenDescriptorIo(int fd, bool write);
// Frees a context of OpenDescriptorIo and sets *io to null.
void CloseDescriptorIo(AVIOContext **io);

// Makes `format` open nothing by name (playlists, references, a muxer's
// second pass): every such open is refused, except that a muxer may read
// its own output `*fd` again (a faststart MP4's second pass). `fd` null:
// nothing at all. `*fd` must outlive `format`.
void ConfineFormatIo(AVFormatContext *format, const int *fd);

} // namespace qvhost
