#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pellmarsh {

// Hands the links of one message on to the program; returns one reason per
// link, empty for each link taken.
using UrlHandoff = std::function<std::vector<std::string>(const std::vector<std::string>& urls)>;

// Browsers send at most this much to a host in one frame.
inline constexpr uint32_t kMaxNativeFrame = 1024 * 1024;

// The browser's side of native messaging: frames of a 4-byte length in the
// machine's byte order, then that many bytes of UTF-8 JSON. Each frame read
// from `input` is answered by one frame on `output`; a refused message hands
// nothing on. Blocking descriptors. Returns 0 when the input ended between
// frames, 1 when it ended inside one or the output failed. Ignores SIGPIPE for
// the process: a browser that stops listening must not end it by a signal.
int RunNativeMessagingHost(int input, int output, const UrlHandoff& handoff);

// One answer frame: the length, then the text.
std::string NativeFrame(const std::string& text);

}  // namespace pellmarsh
