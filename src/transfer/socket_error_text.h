#pragma once

#include <string>

namespace pellmarsh {

// The words for a socket or resolver error number; any other number reads
// "Socket Error: <number>".
std::string SocketErrorText(int code);

}  // namespace pellmarsh
