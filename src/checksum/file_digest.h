#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "checksum/checksum.h"

namespace pellmarsh {

// How far a digest of a file got, for another thread to follow; `cancel`
// ends it between two reads.
struct DigestProgress {
  std::atomic<int64_t> hashed{0};
  std::atomic<bool> cancel{false};
};

// The digest of a file's bytes from start to end, as lower-case hex; nothing
// when the file could not be read (`error` says why) or it was cancelled
// (`error` empty). Blocks: run it where no lock is held. `onRead` runs after
// each read.
std::optional<std::string> DigestOfFile(const std::string& path, DigestKind kind,
                                        DigestProgress& progress, std::string& error,
                                        const std::function<void()>& onRead = {});

}  // namespace pellmarsh
