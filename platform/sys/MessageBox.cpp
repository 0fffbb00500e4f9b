#include "sys/MessageBox.h"

#include <cstdio>
#include <utility>

namespace sys {
namespace {
MessageSink s_sink;
}

void showMessage(const std::string& text) {
    if (s_sink) {
        // A copy, so that a sink which replaces itself while it runs stays alive.
        MessageSink sink = s_sink;
        sink(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

MessageSink setMessageSink(MessageSink sink) {
    MessageSink previous = std::move(s_sink);
    s_sink = std::move(sink);
    return previous;
}

} // namespace sys
