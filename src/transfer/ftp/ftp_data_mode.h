#pragma once

#include <string_view>
#include <vector>

#include "store/keys.h"

namespace pellmarsh {

// The commands that open an FTP data channel, in the order they are tried.
enum class FtpDataCommand { kEpsv, kPasv, kPort };

std::string_view DataCommandName(FtpDataCommand command);

// The data commands a transfer tries in turn: those the mode allows, the one
// remembered for the host first when the mode allows it. An unknown mode
// reads as passive, then active.
std::vector<FtpDataCommand> DataCommandOrder(FtpDataMode mode, std::string_view remembered);

// True for a refusal that says the server does not do a data command at all
// (not understood, not implemented, not for this network), so the next one
// may do; any other refusal stands.
bool RefusesDataCommand(std::string_view replyLine);

}  // namespace pellmarsh
