#pragma once
// The player's one message box: modal, a warning icon, one OK button, the application's
// name as caption. The core layers call showMessage(); the user-interface layer installs
// the sink that really shows a box, and tests install one that records the texts.

#include <functional>
#include <string>

namespace sys {

using MessageSink = std::function<void(const std::string& text)>;

// Shows `text` and returns when the user has closed the box.
void showMessage(const std::string& text);

// Installs a sink and returns the previous one. Without a sink, texts go to stderr.
MessageSink setMessageSink(MessageSink sink);

} // namespace sys
