#pragma once

// The FTP command connection's text, taken apart without trusting a byte of it,
// and the commands built from a URL's path.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh {

// Takes the first whole line out of `buffer` (up to and with its LF) and
// returns it without the LF and without a CR just before it; nothing while no
// LF has arrived, so a reply split over several receives comes out whole.
std::optional<std::string> TakeReplyLine(std::string& buffer);

// The class digit ('1' to '9', or '0') of a reply line: three digits and a
// blank. 0 for any other line, which covers the lines of a multi-line reply
// before its last ("220-Welcome"), so such a reply acts on its last line only.
char ReplyClass(std::string_view line);

// The size a class-1 reply announces: each "(...)" group that does not begin
// with "byte" sets it to the number the group begins with (0 without digits),
// and the last such group wins. Nothing when no group counts.
std::optional<int64_t> AnnouncedSize(std::string_view line);

// What asks for a path: RETR for a file, NLST for a directory (a path ending
// in "/", an empty one, or a last part holding "*" or "?").
struct FileRequest {
  std::string verb;  // "RETR " or "NLST "
  std::string argument;
  bool listing = false;
};
FileRequest RequestForPath(std::string_view fullpath);

// The next form of a path the server refused: without its leading "/", with
// its "%" escapes decoded (and a "/" put back in front), then as a listing of
// "path/*". Nothing once every form has been tried. An escape that is not two
// hexadecimal digits, or that would decode to CR, LF or NUL, stays as it is.
std::optional<std::string> RewriteRefusedPath(std::string_view fullpath);

// The port a "229 ... (|||port|)" reply names: any printable delimiter in
// place of "|", used alike in all four places; nothing for any other text or
// for port 0.
std::optional<uint16_t> ExtendedPassivePort(std::string_view line);

// The address (host order) and port a "227 ... (h1,h2,h3,h4,p1,p2)" reply
// names: the first six comma-separated numbers of 0 to 255 after the reply
// code, with or without the brackets; nothing without them or for port 0.
struct PassiveReply {
  uint32_t address = 0;
  uint16_t port = 0;
};
std::optional<PassiveReply> PassiveAddress(std::string_view line);

// The PORT argument "h1,h2,h3,h4,p1,p2" for a host-order address and port.
std::string PortArgument(uint32_t address, uint16_t port);

// False for text that would end a command line early or smuggle in another.
bool IsSafeCommandArgument(std::string_view argument);

}  // namespace pellmarsh
