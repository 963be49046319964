#include "transfer/session/exchange_choice.h"

#include "transfer/file_copy.h"
#include "transfer/ftp/ftp_dialogue.h"
#include "transfer/http/http_exchange.h"
#include "url/url_parser.h"

namespace pellmarsh {

std::unique_ptr<ProtocolExchange> ExchangeFor(std::string_view scheme, SessionHost& session) {
  if (IsHttpScheme(scheme)) {
    return std::make_unique<HttpExchange>(session, scheme == "https");
  }
  if (scheme == "ftp") {
    return std::make_unique<FtpDialogue>(session);
  }
  if (scheme == "file") {
    return std::make_unique<FileCopy>(session);
  }
  return nullptr;
}

}  // namespace pellmarsh
