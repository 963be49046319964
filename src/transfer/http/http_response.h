#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellmarsh {

// Bounds on what a server can make us hold before its body starts.
inline constexpr size_t kMaxHttpHeaderLine = 16 * 1024;
inline constexpr size_t kMaxHttpHeader = 256 * 1024;

// Splits a response header into lines as its bytes arrive, in receives of any
// size. A line ends with CR LF, a lone LF or a lone CR. A CR that is the last
// byte so far is decided only by the byte after it (or the end of input), so
// a CR LF pair split between two receives is still one line end. The header
// ends at the first line of at most one character; every byte after that
// line's end is body, whatever the line ends were.
class HttpHeaderReader {
 public:
  enum class Result {
    kNeedMore,  // no whole line yet
    kLine,      // one header line, without its end
    kComplete,  // the header has ended; body() holds what followed it
    kTooLong,   // a line or the header is over its bound
  };

  void Reset();
  void Append(std::string_view bytes);
  // After kComplete: the bytes after the header are read as a header of their
  // own (an interim 1xx reply came first). The bound on the whole stays.
  void StartNextHeader();
  // The server has closed: a CR at the end will get no LF.
  void EndOfInput() { ended_ = true; }
  // The next line into `line`, or what stops the splitting. kComplete and
  // kTooLong are final and are returned again on every later call.
  Result Next(std::string& line);
  // After kComplete: the bytes after the header, up to the last Append.
  std::string_view body() const;

 private:
  bool WithinBounds(size_t lineLength, size_t endLength) const;
  Result Finish(Result result);

  std::string buffer_;
  size_t start_ = 0;        // the first byte not yet split off
  size_t scanned_ = 0;      // the bytes from start_ to here hold no CR or LF
  size_t headerBytes_ = 0;  // split-off lines with their ends
  size_t bodyStart_ = 0;
  bool ended_ = false;
  Result final_ = Result::kNeedMore;
};

// What one header line says. A status line begins "HTTP/"; a field's name is
// matched without regard to case and its value is read after the colon with
// the optional blanks and tabs around it taken off.
struct HttpHeaderField {
  enum class Kind {
    kOther,
    kStatus,
    kLocation,
    kContentLength,
    kContentRange,
    kContentType,
    kTransferEncoding,
    kRetryAfter,
    kValidator,  // ETag or Last-Modified
    kContentDisposition,
    kSetCookie,
    kDigest,  // Repr-Digest or Digest: the whole file's digest, if it names one we use
  };
  Kind kind = Kind::kOther;
  int code = 0;        // kStatus: the number after the first blank, 0 without one
  int64_t number = 0;  // kContentLength: the length; kContentRange: the start
  // kContentRange of an unsatisfiable range, "bytes */N": N; otherwise -1.
  int64_t unsatisfiedTotal = -1;
  // kContentRange of a partial answer, "bytes a-b/N": N, the whole file's
  // size; otherwise -1.
  int64_t total = -1;
  // kDigest: as the checksum field writes it ("sha256:HEX").
  // kLocation, kRetryAfter, kContentDisposition, kSetCookie: as received; kContentType,
  // kTransferEncoding: in lower case; kValidator: the name in lower case, ": " and the value as
  // received
  std::string text;
};

HttpHeaderField ParseHttpHeaderField(std::string_view line);

// True when a Transfer-Encoding value ends in the chunked coding.
bool IsChunkedCoding(std::string_view value);

// Takes the framing off a chunked body as its bytes arrive, in pieces of any
// size: hexadecimal size lines (extensions ignored), the data, and after the
// last chunk a trailer ended by an empty line. Lone LFs are taken for CR LF.
class ChunkedBodyDecoder {
 public:
  enum class Result {
    kMore,       // the body goes on
    kDone,       // the last chunk and its trailer have ended; later bytes are ignored
    kMalformed,  // framing that is no chunked body, or over its bounds
  };
  static constexpr size_t kMaxSizeLine = 4096;

  // Appends the data that `bytes` carry to `data`. kDone and kMalformed are
  // final and are returned again on every later call.
  Result Decode(std::string_view bytes, std::string& data);

 private:
  enum class Part { kSize, kExtension, kSizeEnd, kData, kDataCr, kDataLf, kTrailer };

  Result Fail() { return result_ = Result::kMalformed; }
  // One byte of framing; false when it is malformed.
  bool Frame(char c);
  bool EndSizeLine();

  Part part_ = Part::kSize;
  Result result_ = Result::kMore;
  uint64_t size_ = 0;             // of the chunk being read: its size, then what is left of it
  size_t digits_ = 0;             // of the size line so far
  size_t significantDigits_ = 0;  // of the size line so far, leading zeros left out
  size_t lineLength_ = 0;         // of the size or trailer line so far
  size_t trailerBytes_ = 0;
};

}  // namespace pellmarsh
