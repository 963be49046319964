#include "transfer/segment_map.h"

#include <algorithm>
#include <charconv>

namespace pellmarsh {
namespace {

bool ReadNumber(std::string_view& text, int64_t& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || number < 0) {
    return false;
  }
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return true;
}

bool Expect(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) {
    return false;
  }
  text.remove_prefix(1);
  return true;
}

}  // namespace

SegmentMap SegmentMap::Even(int64_t total, int count) {
  SegmentMap map{total, {}};
  count = std::max(count, 1);
  for (int i = 0; i < count; ++i) {
    const int64_t start = total * i / count;
    const int64_t end = total * (i + 1) / count;
    map.segments.push_back({start, end, start});
  }
  return map;
}

std::optional<SegmentMap> SegmentMap::Parse(std::string_view text) {
  SegmentMap map;
  if (!ReadNumber(text, map.total) || map.total <= 0) {
    return std::nullopt;
  }
  while (!text.empty()) {
    Segment part;
    if (!Expect(text, ' ') || !ReadNumber(text, part.start) || !Expect(text, '-') ||
        !ReadNumber(text, part.end) || !Expect(text, ':') || !ReadNumber(text, part.next)) {
      return std::nullopt;
    }
    // A map that points outside the file or its own part would write where
    // no part of this download belongs.
    if (part.start > part.end || part.end > map.total || part.next < part.start ||
        part.next > part.end) {
      return std::nullopt;
    }
    map.segments.push_back(part);
  }
  if (map.segments.empty()) {
    return std::nullopt;
  }
  return map;
}

std::string SegmentMap::Format() const {
  std::string text = std::to_string(total);
  for (const Segment& part : segments) {
    text += ' ' + std::to_string(part.start) + '-' + std::to_string(part.end) + ':' +
            std::to_string(part.next);
  }
  return text;
}

int64_t SegmentMap::received() const {
  int64_t sum = 0;
  for (const Segment& part : segments) {
    sum += part.next - part.start;
  }
  return sum;
}

bool SegmentMap::done() const {
  return std::all_of(segments.begin(), segments.end(), [](const Segment& s) { return s.done(); });
}

std::optional<size_t> SegmentMap::SplitLargest(int64_t minimum) {
  auto largest =
      std::max_element(segments.begin(), segments.end(),
                       [](const Segment& a, const Segment& b) { return a.left() < b.left(); });
  if (largest == segments.end() || largest->left() < minimum) {
    return std::nullopt;
  }
  const int64_t middle = largest->next + largest->left() / 2;
  const Segment back{middle, largest->end, middle};
  largest->end = middle;
  segments.push_back(back);
  return segments.size() - 1;
}

}  // namespace pellmarsh
