#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// The parts of a download split over several connections, as the item keeps
// them: each part asks for [start, end) and has its bytes on disk up to next.
struct Segment {
  int64_t start = 0;
  int64_t end = 0;
  int64_t next = 0;

  int64_t left() const { return end - next; }
  bool done() const { return next >= end; }
};

struct SegmentMap {
  int64_t total = 0;
  std::vector<Segment> segments;

  // `count` parts of near equal size covering the whole file.
  static SegmentMap Even(int64_t total, int count);
  // Nothing when the text is no map of a file of some size.
  static std::optional<SegmentMap> Parse(std::string_view text);
  // "<total> <start>-<end>:<next> ...".
  std::string Format() const;
  // The bytes on disk: the sum of every part's.
  int64_t received() const;
  bool done() const;
  // Cuts the back half off the part with most left when at least `minimum`
  // remains there and returns the new part's index; none otherwise. The
  // running part keeps its front and gives its new end to its session.
  std::optional<size_t> SplitLargest(int64_t minimum);
};

}  // namespace pellmarsh
