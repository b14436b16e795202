// FFmpeg's text for one of its error codes, for messages that say why a file
// could not be read or written.
#pragma once

extern "C" {
#include <libavutil/error.h>
}

#include <string>

namespace qvhost {

inline std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace qvhost
