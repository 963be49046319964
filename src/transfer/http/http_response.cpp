#include "transfer/http/http_response.h"

#include <algorithm>
#include <limits>

#include "checksum/digest_header.h"
#include "store/ascii_case.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

// Without the optional blanks and tabs around a field's name or value.
std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int64_t UnsatisfiedTotal(std::string_view range) {
  if (range.size() < 3 || !range.starts_with("*/") || range[2] < '0' || range[2] > '9') {
    return -1;
  }
  return ParseLeadingInteger(range.substr(2));
}

// The N of "a-b/N": the whole file's size; -1 when unknown ("*") or absent.
int64_t RangeTotal(std::string_view range) {
  const size_t slash = range.find('/');
  if (range.starts_with("*") || slash == std::string_view::npos || slash + 1 >= range.size() ||
      range[slash + 1] < '0' || range[slash + 1] > '9') {
    return -1;
  }
  return ParseLeadingInteger(range.substr(slash + 1));
}

}  // namespace

void HttpHeaderReader::Reset() {
  *this = HttpHeaderReader();
}

void HttpHeaderReader::Append(std::string_view bytes) {
  if (final_ != Result::kNeedMore) {
    return;
  }
  // Lines already handed out are dropped here, once per receive, not per line.
  buffer_.erase(0, start_);
  scanned_ -= start_;
  start_ = 0;
  buffer_.append(bytes);
}

void HttpHeaderReader::StartNextHeader() {
  if (final_ != Result::kComplete) {
    return;
  }
  start_ = bodyStart_;
  scanned_ = bodyStart_;
  bodyStart_ = 0;
  final_ = Result::kNeedMore;
}

HttpHeaderReader::Result HttpHeaderReader::Next(std::string& line) {
  if (final_ != Result::kNeedMore) {
    return final_;
  }
  const size_t end = buffer_.find_first_of("\r\n", scanned_);
  if (end == std::string::npos) {
    scanned_ = buffer_.size();
    return WithinBounds(buffer_.size() - start_, 0) ? Result::kNeedMore : Finish(Result::kTooLong);
  }
  scanned_ = end;
  size_t endLength = 1;
  if (buffer_[end] == '\r') {
    if (end + 1 == buffer_.size() && !ended_) {
      return WithinBounds(end - start_, 1) ? Result::kNeedMore : Finish(Result::kTooLong);
    }
    if (end + 1 < buffer_.size() && buffer_[end + 1] == '\n') {
      endLength = 2;
    }
  }
  const size_t length = end - start_;
  if (!WithinBounds(length, endLength)) {
    return Finish(Result::kTooLong);
  }
  headerBytes_ += length + endLength;
  const size_t next = end + endLength;
  if (length <= 1) {
    bodyStart_ = next;
    return Finish(Result::kComplete);
  }
  line.assign(buffer_, start_, length);
  start_ = next;
  scanned_ = next;
  return Result::kLine;
}

std::string_view HttpHeaderReader::body() const {
  if (final_ != Result::kComplete) {
    return {};
  }
  return std::string_view(buffer_).substr(bodyStart_);
}

bool HttpHeaderReader::WithinBounds(size_t lineLength, size_t endLength) const {
  return lineLength <= kMaxHttpHeaderLine &&
         headerBytes_ + lineLength + endLength <= kMaxHttpHeader;
}

HttpHeaderReader::Result HttpHeaderReader::Finish(Result result) {
  final_ = result;
  return result;
}

HttpHeaderField ParseHttpHeaderField(std::string_view line) {
  using Kind = HttpHeaderField::Kind;
  HttpHeaderField field;
  // "HTTP/" cannot begin a field name ("/" is no token character), so a field
  // such as "HTTP-Date:" never passes for the status line.
  if (AsciiLower(line.substr(0, 5)) == "http/") {
    field.kind = Kind::kStatus;
    const size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
      field.code = static_cast<int>(std::clamp<int64_t>(ParseLeadingInteger(line.substr(blank + 1)),
                                                        std::numeric_limits<int>::min(),
                                                        std::numeric_limits<int>::max()));
    }
    return field;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    return field;
  }
  const std::string name = AsciiLower(TrimBlanks(line.substr(0, colon)));
  const std::string_view value = TrimBlanks(line.substr(colon + 1));
  if (name == "location") {
    field.kind = Kind::kLocation;
    field.text = value;
  } else if (name == "content-length") {
    field.kind = Kind::kContentLength;
    field.number = ParseLeadingInteger(value);
  } else if (name == "content-range") {
    const std::string lower = AsciiLower(value);
    if (!lower.starts_with("bytes") || lower.size() < 6 || (lower[5] != ' ' && lower[5] != '\t')) {
      return field;
    }
    const std::string_view range = TrimBlanks(value.substr(5));
    field.kind = Kind::kContentRange;
    field.number = ParseLeadingInteger(range);
    field.unsatisfiedTotal = UnsatisfiedTotal(range);
    field.total = RangeTotal(range);
  } else if (name == "content-type") {
    field.kind = Kind::kContentType;
    field.text = AsciiLower(value);
  } else if (name == "transfer-encoding") {
    field.kind = Kind::kTransferEncoding;
    field.text = AsciiLower(value);
  } else if (name == "retry-after") {
    field.kind = Kind::kRetryAfter;
    field.text = value;
  } else if (name == "set-cookie") {
    field.kind = Kind::kSetCookie;
    field.text = value;
  } else if (name == "content-disposition") {
    field.kind = Kind::kContentDisposition;
    field.text = value;
  } else if (const std::optional<Checksum> digest = WholeFileDigest(name, value)) {
    field.kind = Kind::kDigest;
    field.text = ChecksumText(*digest);
  } else if ((name == "etag" || name == "last-modified") && !value.empty()) {
    // An empty one tells nothing of the file, so it is no validator.
    field.kind = Kind::kValidator;
    field.text = name + ": " + std::string(value);
  }
  return field;
}

bool IsChunkedCoding(std::string_view value) {
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
    value.remove_suffix(1);
  }
  return value.ends_with("chunked");
}

ChunkedBodyDecoder::Result ChunkedBodyDecoder::Decode(std::string_view bytes, std::string& data) {
  size_t at = 0;
  while (result_ == Result::kMore && at < bytes.size()) {
    if (part_ == Part::kData) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(size_, bytes.size() - at));
      data.append(bytes.substr(at, take));
      at += take;
      size_ -= take;
      if (size_ == 0) {
        part_ = Part::kDataCr;
      }
    } else if (!Frame(bytes[at++])) {
      return Fail();
    }
  }
  return result_;
}

bool ChunkedBodyDecoder::Frame(char c) {
  switch (part_) {
    case Part::kSize: {
      const int digit = HexDigitValue(c);
      if (digit >= 0) {
        // Leading zeros are allowed, up to the line's bound; fifteen
        // significant digits are far beyond any real chunk and cannot overflow.
        ++digits_;
        if (size_ != 0 || digit != 0) {
          ++significantDigits_;
        }
        if (++lineLength_ > kMaxSizeLine || significantDigits_ > 15) {
          return false;
        }
        size_ = size_ * 16 + static_cast<uint64_t>(digit);
        return true;
      }
      if (digits_ == 0) {
        return false;
      }
      if (c == ';' || c == ' ' || c == '\t') {
        part_ = Part::kExtension;
        return true;
      }
      if (c == '\r') {
        part_ = Part::kSizeEnd;
        return true;
      }
      return c == '\n' && EndSizeLine();
    }
    case Part::kExtension:
      if (c == '\n') {
        return EndSizeLine();
      }
      return ++lineLength_ <= kMaxSizeLine;
    case Part::kSizeEnd:
      return c == '\n' && EndSizeLine();
    case Part::kDataCr:
      if (c == '\n') {
        part_ = Part::kSize;
        return true;
      }
      part_ = Part::kDataLf;
      return c == '\r';
    case Part::kDataLf:
      part_ = Part::kSize;
      return c == '\n';
    case Part::kTrailer:
      if (c == '\n') {
        if (lineLength_ == 0) {
          result_ = Result::kDone;
        }
        lineLength_ = 0;
        return true;
      }
      ++trailerBytes_;
      if (c != '\r') {
        ++lineLength_;
      }
      return trailerBytes_ <= kMaxHttpHeader;
    case Part::kData:
      break;
  }
  return false;
}

bool ChunkedBodyDecoder::EndSizeLine() {
  digits_ = 0;
  significantDigits_ = 0;
  lineLength_ = 0;
  part_ = size_ == 0 ? Part::kTrailer : Part::kData;
  return true;
}

}  // namespace pellmarsh
