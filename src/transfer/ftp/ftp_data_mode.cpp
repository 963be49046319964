#include "transfer/ftp/ftp_data_mode.h"

#include <algorithm>
#include <array>

namespace pellmarsh {

std::string_view DataCommandName(FtpDataCommand command) {
  switch (command) {
    case FtpDataCommand::kEpsv:
      return "EPSV";
    case FtpDataCommand::kPasv:
      return "PASV";
    case FtpDataCommand::kPort:
      return "PORT";
  }
  return "?";
}

std::vector<FtpDataCommand> DataCommandOrder(FtpDataMode mode, std::string_view remembered) {
  using enum FtpDataCommand;
  std::vector<FtpDataCommand> order;
  switch (mode) {
    case FtpDataMode::kActiveOnly:
      return {kPort};
    case FtpDataMode::kPassiveOnly:
      order = {kEpsv, kPasv};
      break;
    default:
      order = {kEpsv, kPasv, kPort};
      break;
  }
  const auto start = std::find_if(order.begin(), order.end(), [&](FtpDataCommand command) {
    return DataCommandName(command) == remembered;
  });
  // The others stay behind it, in case the host has changed since.
  if (start != order.end()) {
    std::rotate(order.begin(), start, start + 1);
  }
  return order;
}

bool RefusesDataCommand(std::string_view replyLine) {
  // 500 and 502: not understood or not implemented; 501 and 504: not with
  // what was asked; 522: not for this network family.
  constexpr std::array<std::string_view, 5> kCodes = {"500", "501", "502", "504", "522"};
  return replyLine.size() >= 3 &&
         std::find(kCodes.begin(), kCodes.end(), replyLine.substr(0, 3)) != kCodes.end();
}

}  // namespace pellmarsh
