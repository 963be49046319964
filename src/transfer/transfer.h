#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/byte_stream.h"
#include "store/item.h"
#include "transfer/byte_allowance.h"
#include "transfer/recent_rate.h"

namespace pellmarsh {

// The receive buffer the program lends to all its transfers, and so the most
// file data one step can move.
inline constexpr size_t kTransferBufferSize = 65536;

// What the scheduler sees of one running download. The program's transfers are
// TransferSession objects; tests step transfers of their own.
class Transfer {
 public:
  // The socket the next step waits on, so the scheduler can sleep until it is
  // ready; no descriptor when the next step can run at once.
  using Wait = IoWait;

  virtual ~Transfer() = default;

  // One small step that moves at most `byteLimit` bytes of file data; true
  // while the transfer wants more steps. Called without the tree lock held.
  virtual bool Step(size_t byteLimit) = 0;
  // Bytes of file data the last step moved.
  virtual int64_t stepBytes() const = 0;
  // Read and changed under the tree lock.
  virtual Item* item() const = 0;
  // Whoever destroys the item first takes it away from the transfer, under the
  // tree lock; a transfer without an item finishes at its next step.
  virtual void DetachItem() = 0;
  virtual Wait NextWait() const = 0;
  // Every socket the next step may go on with: a download over several
  // connections has one for each.
  virtual void CollectWaits(std::vector<Wait>& waits) const { waits.push_back(NextWait()); }

  // Owned by the scheduler: its decaying byte count for the speed icons, the
  // rate the item's estimate goes by, and what the item's own limit allows.
  int64_t recentBytes = 0;
  RecentRate recentRate;
  ByteAllowance allowance;
};

}  // namespace pellmarsh
