#pragma once

#include <memory>
#include <string_view>

#include "transfer/protocol_exchange.h"
#include "transfer/session_host.h"

namespace pellmarsh {

// The exchange for a URL scheme as the parser gives it ("http", "https",
// "ftp", "file"); none for any other.
std::unique_ptr<ProtocolExchange> ExchangeFor(std::string_view scheme, SessionHost& session);

}  // namespace pellmarsh
