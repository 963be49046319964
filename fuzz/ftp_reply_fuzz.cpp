// Any bytes as the FTP command connection's text: the lines must come out the
// same however the bytes are split into receives, and nothing taken from them
// (reply class, announced size, passive port and address, rewritten path) may
// break its contract.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "transfer/ftp/ftp_reply.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::vector<std::string> TakeAll(std::string& buffer) {
  std::vector<std::string> lines;
  while (std::optional<std::string> line = pellmarsh::TakeReplyLine(buffer)) {
    lines.push_back(*line);
  }
  return lines;
}

// The first byte picks the piece size, the rest is the stream.
void CheckSplits(const std::string& input) {
  if (input.empty()) {
    return;
  }
  const std::string stream = input.substr(1);
  std::string whole = stream;
  const std::vector<std::string> expected = TakeAll(whole);
  Require(whole.find('\n') == std::string::npos);

  const size_t piece = static_cast<unsigned char>(input[0]) % 7 + 1;
  std::string buffer;
  std::vector<std::string> lines;
  for (size_t at = 0; at < stream.size(); at += piece) {
    buffer += stream.substr(at, piece);
    for (std::string& line : TakeAll(buffer)) {
      lines.push_back(std::move(line));
    }
  }
  Require(lines == expected && buffer == whole);

  // Each line with its LF, or its CR LF, rebuilds the stream up to the tail.
  size_t at = 0;
  for (const std::string& line : lines) {
    Require(stream.compare(at, line.size(), line) == 0 && line.find('\n') == std::string::npos);
    at += line.size();
    at += stream.compare(at, 2, "\r\n") == 0 ? 2 : 1;
    Require(stream[at - 1] == '\n');
    const char replyClass = pellmarsh::ReplyClass(line);
    Require(replyClass == 0 || (replyClass == line[0] && replyClass >= '0' && replyClass <= '9' &&
                                line.size() >= 4 && line[3] == ' '));
    const std::optional<int64_t> size = pellmarsh::AnnouncedSize(line);
    Require(!size || (*size >= 0 && line.find('(') != std::string::npos));
    const std::optional<uint16_t> port = pellmarsh::ExtendedPassivePort(line);
    Require(!port || (*port > 0 && line.find('(') != std::string::npos));
    const std::optional<pellmarsh::PassiveReply> named = pellmarsh::PassiveAddress(line);
    Require(!named || (named->port > 0 && line.find(',') != std::string::npos));
  }
  Require(stream.substr(at) == whole);
}

// Every refused path runs out of forms in a bounded number of tries, and no
// form holds a line break the path itself did not.
void CheckRewrites(const std::string& path) {
  const bool safe = pellmarsh::IsSafeCommandArgument(path);
  std::string current = path;
  size_t tries = 0;
  while (std::optional<std::string> next = pellmarsh::RewriteRefusedPath(current)) {
    Require(++tries <= 2 * path.size() + 4);
    Require(!safe || pellmarsh::IsSafeCommandArgument(*next));
    current = *next;
    const pellmarsh::FileRequest request = pellmarsh::RequestForPath(current);
    Require(request.listing == (request.verb == "NLST "));
    Require(request.listing || (request.verb == "RETR " && request.argument == current));
  }
}

// The address and port a PORT argument names come back from a PASV reply
// that carries it, whatever surrounds it.
void CheckPassiveRoundTrip(const std::string& input) {
  if (input.size() < 6) {
    return;
  }
  uint32_t address = 0;
  for (size_t index = 0; index < 4; ++index) {
    address = address << 8 | static_cast<unsigned char>(input[index]);
  }
  const auto port = static_cast<uint16_t>(static_cast<unsigned char>(input[4]) << 8 |
                                          static_cast<unsigned char>(input[5]));
  const std::optional<pellmarsh::PassiveReply> named =
      pellmarsh::PassiveAddress("227 Entering Passive Mode (" +
                                pellmarsh::PortArgument(address, port) + ")" + input.substr(6));
  // Port 0 is no port: a later run of six in the tail may stand instead.
  Require(port == 0 || (named && named->address == address && named->port == port));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckSplits(input);
  CheckPassiveRoundTrip(input);
  CheckRewrites(input);
  return 0;
}
