#pragma once

#include <algorithm>
#include <cstdint>

namespace pellmarsh {

// How many parts of a download run at once. Over a link that caps nothing,
// more connections only share the same bytes and cost the server; over one
// that caps each connection, every added part adds its cap. So a download
// starts with the parts it has and adds one at a time while each raised the
// rate measured with all of them flowing, and gives the last one back when
// it did not.
class ConnectionRamp {
 public:
  // The rate is measured over this many milliseconds with every part
  // flowing, from this many after they all began to: bytes that waited in
  // the socket, and a new connection's first round trips, would mislead it.
  static constexpr uint32_t kWindowMs = 500;
  static constexpr uint32_t kSettleMs = 100;
  // A part is worth keeping when it raises the rate by this share at least.
  static constexpr int64_t kGainPercent = 15;

  ConnectionRamp() = default;
  ConnectionRamp(int start, int most);

  int wanted() const { return wanted_; }
  // Bytes a second over the last window; 0 before the first.
  int64_t rate() const { return std::max<int64_t>(lastRate_, 0); }
  // `bytes` arrived by `now` (the clock's milliseconds) while `flowing` parts
  // were bringing bytes.
  void Note(uint32_t now, int flowing, int64_t bytes);

 private:
  int wanted_ = 1;
  int most_ = 1;
  bool settled_ = false;
  bool measuring_ = false;
  uint32_t windowStart_ = 0;
  int64_t windowBytes_ = 0;
  int64_t lastRate_ = -1;  // with one part fewer; none before the first window
};

}  // namespace pellmarsh
