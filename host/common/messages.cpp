#include "host/common/messages.h"

#include <cstdio>

namespace qvhost {
namespace {

MessageSink gSink = nullptr;

void Say(bool warning, const std::string &text)
{
    if (gSink)
        gSink(warning, text);
    else
        std::fprintf(stderr, "quorvanta: %s%s\n", warning ? "warning: " : "", text.c_str());
}

} // namespace

void SetMessageSink(MessageSink sink)
{
    gSink = sink;
}

void Warn(const std::string &text)
{
    Say(true, text);
}

void Note(const std::string &text)
{
    Say(false, text);
}

} // namespace qvhost
