#include "store/log_packing.h"

// next_in points at bytes zlib only reads.
#define ZLIB_CONST
#include <zlib.h>

#include <cstdint>

namespace pellmarsh {
namespace {

constexpr size_t kLengthBytes = 4;
// Deflate never packs more than 1032 bytes into one.
constexpr size_t kMostUnpackedPerByte = 1032;
// An eighth smaller than at the fastest level, for hardly more time.
constexpr int kLevel = Z_DEFAULT_COMPRESSION;
// An 8 KiB window and smaller tables: a log repeats itself within a few
// attempts, and setting up zlib's full tables took three quarters of the
// time of packing a 2 KiB log (58 microseconds, now 15).
constexpr int kWindowBits = 13;
constexpr int kMemoryLevel = 6;

// Lines and phrases that most logs hold, for the stream to refer back to: a
// log of 2 KiB has too little text of its own to find them in, and packs to a
// third less with them. This text is part of the data file's format: the
// stream's header names it by its checksum, and any change to it would make
// every packed log of older files read as damaged. Never change it.
constexpr std::string_view kCommonText =
    "Recv Line: 220 \r\nSend Line: USER anonymous\r\nRecv Line: 331 \r\nSend Line: PASS \r\n"
    "Recv Line: 230 \r\nSend Line: TYPE I\r\nSend Line: SIZE \r\nRecv Line: 213 \r\n"
    "Send Line: EPSV\r\nRecv Line: 229 Entering Extended Passive Mode (|||\r\n"
    "Send Line: PASV\r\nRecv Line: 227 Entering Passive Mode (\r\nSend Line: REST \r\n"
    "Recv Line: 350 \r\nSend Line: RETR \r\nRecv Line: 150 \r\nRecv Line: 226 \r\n"
    "Waiting for FTP Data Channel...\r\nReserving datasocket for FTP\r\nOpening Files...\r\n"
    "Receive Error: Connection Reset By Host\r\nReceive Error: Timed Out\r\n"
    "Connection Refused by Host\r\nTransfer completed normally but was short of the supposed "
    "total.  Retrying...\r\nChecking the checksum...\r\nStarting TLS...\r\nTLS connection: TLSv1.3"
    "\r\nRecv Line: Set-Cookie: (concealed)\r\nRecv Line: Cache-Control: \r\n"
    "Recv Line: Connection: keep-alive\r\nRecv Line: Connection: close\r\n"
    "Recv Line: Accept-Ranges: bytes\r\nRecv Line: Content-Range: bytes \r\n"
    "Recv Line: Location: https://\r\nRecv Line: HTTP/1.1 301 Moved Permanently\r\n"
    "Recv Line: HTTP/1.1 302 Found\r\nHTTP Redirect 302 to: https://\r\n"
    "Recv Line: Content-Type: application/octet-stream\r\nRecv Line: Content-Type: text/html\r\n"
    "Recv Line: Last-Modified: Mon, Tue, Wed, Thu, Fri, Sat, Sun, Jan Feb Mar Apr May Jun Jul "
    "Aug Sep Oct Nov Dec 2026 00:00:00 GMT\r\nRecv Line: Date: \r\nRecv Line: Server: \r\n"
    "Recv Line: ETag: \"\r\nRecv Line: Content-Length: \r\n"
    "Recv Line: HTTP/1.1 206 Partial Content\r\nRecv Line: HTTP/1.1 200 OK\r\n"
    "HTTP Header complete.  Switching to data mode.\r\nTransferring data...\r\n"
    "Successful data transfer, got  bytes this session.\r\n--------------------------\r\n"
    "Start: https://\r\nStart: http://\r\nConnecting to host at , port 443\r\n, port 80\r\n"
    "Waiting for connect...\r\nConnected.  Opening save file.\r\n"
    "Send Line: GET / HTTP/1.1|Host: |Range: bytes=";

const Bytef* CommonBytes() {
  return reinterpret_cast<const Bytef*>(kCommonText.data());
}

}  // namespace

std::string DeflateLog(std::string_view text) {
  z_stream stream{};
  deflateInit2(&stream, kLevel, Z_DEFLATED, kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
  deflateSetDictionary(&stream, CommonBytes(), static_cast<uInt>(kCommonText.size()));
  const uLong bound = deflateBound(&stream, static_cast<uLong>(text.size()));
  std::string packed(kLengthBytes + bound, '\0');
  const auto length = static_cast<uint32_t>(text.size());
  for (size_t index = 0; index < kLengthBytes; ++index) {
    packed[index] = static_cast<char>((length >> (8 * index)) & 0xFF);
  }
  stream.next_in = reinterpret_cast<const Bytef*>(text.data());
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data() + kLengthBytes);
  stream.avail_out = static_cast<uInt>(bound);
  deflate(&stream, Z_FINISH);  // the bound leaves room to finish at once
  packed.resize(kLengthBytes + stream.total_out);
  deflateEnd(&stream);
  return packed;
}

std::string InflateLog(std::string_view packed) {
  if (packed.size() < kLengthBytes) {
    return std::string(kDamagedLogText);
  }
  uint32_t length = 0;
  for (size_t index = kLengthBytes; index-- > 0;) {
    length = (length << 8) | static_cast<unsigned char>(packed[index]);
  }
  const std::string_view packedStream = packed.substr(kLengthBytes);
  if (length > packedStream.size() * kMostUnpackedPerByte) {
    return std::string(kDamagedLogText);
  }
  std::string text(length, '\0');
  z_stream stream{};
  inflateInit(&stream);
  stream.next_in = reinterpret_cast<const Bytef*>(packedStream.data());
  stream.avail_in = static_cast<uInt>(packedStream.size());
  stream.next_out = reinterpret_cast<Bytef*>(text.data());
  stream.avail_out = length;
  int result = inflate(&stream, Z_FINISH);
  if (result == Z_NEED_DICT &&
      inflateSetDictionary(&stream, CommonBytes(), static_cast<uInt>(kCommonText.size())) == Z_OK) {
    result = inflate(&stream, Z_FINISH);
  }
  const bool whole = result == Z_STREAM_END && stream.total_out == length;
  inflateEnd(&stream);
  return whole ? text : std::string(kDamagedLogText);
}

}  // namespace pellmarsh
