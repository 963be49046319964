#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/native_message.h"

namespace pellmarsh {

// Hands one accepted message on to the program: its text as received, for the
// program to read again, and the downloads it holds. Returns one reason per
// download, empty for each one taken.
using DownloadHandoff =
    std::function<std::vector<std::string>(const std::string& text, const BrowserMessage& message)>;

// Browsers send at most this much to a host in one frame.
inline constexpr uint32_t kMaxNativeFrame = 1024 * 1024;

// The browser's side of native messaging: frames of a 4-byte length in the
// machine's byte order, then that many bytes of UTF-8 JSON. Each frame read
// from `input` is answered by one frame on `output`; a refused message hands
// nothing on. Blocking descriptors. Returns 0 when the input ended between
// frames, 1 when it ended inside one or the output failed. Ignores SIGPIPE for
// the process: a browser that stops listening must not end it by a signal.
int RunNativeMessagingHost(int input, int output, const DownloadHandoff& handoff);

// One answer frame: the length, then the text.
std::string NativeFrame(const std::string& text);

}  // namespace pellmarsh
