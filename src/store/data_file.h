#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread_annotations.h"
#include "platform/user_messages.h"
#include "store/tree.h"

namespace pellmarsh {

// The states of a save request: none, asked for, being written, and asked for
// again while being written.
enum SaveRequest : int {
  kSaveIdle = 0,
  kSaveRequested = 1,
  kSaveWriting = 2,
  kSaveRequestedWhileWriting = 3,
};

// Asks the one-second timer for a save. A request that arrives while a save is
// being written is kept for the next tick: that save may have been serialised
// before the change it should record.
void RequestSave(std::atomic<int>& saveRequested);

// The flags a save coordinates with; owned by the main window.
struct SaveGuards {
  const std::atomic<bool>& commandBusy;
  std::atomic<bool>& saving;
};

// What loading found that the user must hear of.
struct LoadOutcome {
  // The file exists but could not be read: the program must end without
  // saving, after telling the user.
  bool unreadable = false;
  // There was no data file under either name: this start makes the first.
  bool fresh = false;
  std::optional<UserMessage> report;
};

// pmarsh.dat in the program's directory: read once at start-up, written in
// full whenever a save is due.
class DataFile {
 public:
  static constexpr const char* kFileName = "pmarsh.dat";
  static constexpr const char* kOldFileName = "pellmarsh.dat";
  static constexpr unsigned kFileMode = 0600;  // the file holds passwords
  static constexpr int kSaveAttempts = 50;
  static constexpr const char* kDamagedMark = ".damaged-";

  DataFile(std::string programDir, SaveGuards guards, UserMessages& messages, Clock& clock,
           FileReplacer& replacer);

  std::string Path() const;
  std::string OldPath() const;

  // Loads pmarsh.dat, or else the old-name file (read once, then deleted), and
  // applies the load-time reset to every item. A damaged pmarsh.dat keeps what
  // could be read, leaves a copy of itself beside it (one per distinct damage)
  // and is then replaced at once by what was read; a file that exists but
  // cannot be read is never saved over.
  LoadOutcome LoadAtStartup(Tree& tree);

  // The whole save: skipped while another save runs, waits for a running item
  // command, then tries up to 50 times 200 ms apart and tells the user if all fail.
  void Save(Tree& tree) EXCLUDES(tree.lock());
  // The same save for a close nobody watches (a signal): no message box; the
  // reason it failed, if it did.
  std::optional<std::string> SaveUnattended(Tree& tree) EXCLUDES(tree.lock());

  // The one-second timer's part: runs a save the scheduler asked for
  // (requested -> writing -> idle, or requested again when asked meanwhile).
  // After kQuietTicks ticks without one it gives the save buffer back.
  // True when it saved.
  bool SaveIfRequested(Tree& tree, std::atomic<int>& saveRequested) EXCLUDES(tree.lock());
  static constexpr int kQuietTicks = 10;
  static constexpr size_t kKeptBufferBytes = 32 << 20;
  // What the next save's buffer already holds.
  size_t keptBufferBytes() const { return saveBuffer_.capacity(); }

 private:
  UserMessage DamageReport(const std::string& path, const std::string& problem, size_t itemsKept,
                           const std::string& whereKept);
  // Keeps a damaged pmarsh.dat's bytes under a new name, or finds the copy an
  // earlier start kept of the same bytes; the name, or nothing.
  std::optional<std::string> KeepDamagedCopy(std::string_view bytes);
  std::optional<std::string> ExistingDamagedCopy(std::string_view bytes) const;
  // Serialises under the tree lock and writes with retries; the last failure.
  std::optional<FileFailure> Write(Tree& tree) EXCLUDES(tree.lock());
  std::string FailureText(const FileFailure& failure) const;

  std::string programDir_;
  SaveGuards guards_;
  UserMessages& messages_;
  Clock& clock_;
  FileReplacer& replacer_;
  // Set when the file on disk must outlive this run unchanged.
  bool saveForbidden_ = false;
  // Kept between saves: saves come with every transfer start and end, and a
  // fresh buffer of the file's size costs a page fault per 4 KiB each time.
  // A queue gone quiet gives it back; a long list's, a hundred megabytes and
  // more, goes at once, since keeping it would double the list's memory.
  std::string saveBuffer_;
  int quietTicks_ = 0;
};

}  // namespace pellmarsh
