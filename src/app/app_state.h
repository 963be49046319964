#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "afterdownload/after_download_shared.h"
#include "platform/thread_annotations.h"
#include "platform/wake_flag.h"
#include "store/item.h"
#include "store/tree.h"
#include "transfer/transfer.h"
#include "viruscheck/virus_check_shared.h"

namespace pellmarsh {

// The state the window, the scheduler, the virus checker and the extraction
// thread share.
//
// Threads and what each runs (there are no others of ours):
// - window (the Qt thread): every dialog and message box, the one-second and
//   list timers, every item command and every save of the data file. Worker
//   threads hand it work through the GUI queue and never wait for it while
//   holding the tree lock (RunAndWait and the messages stop the program if
//   they do).
// - scheduler (Scheduler::Run, started by WorkerThreads): the once-a-second
//   walk that starts queued items and counts down retries, and one Step of one
//   transfer per pass, with that step's name lookups (let go of the lock).
//   The upgrade check is one of its downloads; the finished one is handed to
//   the window thread, which asks. With Good Night pressed it waits, without
//   the tree lock, for the countdown the window shows, then makes the D-Bus
//   calls itself.
// - virus check (VirusChecker::Loop, started by WorkerThreads): takes finished
//   items from virusCheck.queue and waits for the checker program without the lock.
// - after download (AfterDownloadRunner::Loop, started by WorkerThreads): takes
//   finished items from afterDownload (those a virus check passed, when it is
//   on) and waits for the user's program without the lock.
// - extraction (ExtractionWorker, started by the first automatic extraction):
//   reads and scans a finished page or listing without the lock, then adds
//   its URLs in one locked step. The Extract URLs command scans on a thread
//   of its own in the same way while the window waits.
//
// The tree lock (tree.lock()) guards the item tree, activeTransfers,
// virusCheck.queue, the lists of afterDownload, clipAndGoItem and the
// local-name registry; Clang's -Wthread-safety checks the annotations that say
// so. It is held for short, bounded work only: one walk, one Step, one
// command, one list refresh, serialising a save. Never while sleeping, polling
// sockets, resolving names (WithoutTreeLock), running the virus checker or the
// program after a download, waiting for a dialog or writing the data file.
//
// The flags are atomic so that any thread may read them without the lock:
// - commandBusy: the second gate. An item command lets go of the tree lock
//   while its questions are open, so the window sets this flag for the whole
//   command: while it is set the scheduler steps and starts no transfer at
//   all, and saves, the window's timers and the upgrade hand-off wait, so
//   nothing changes the items the command is deciding on.
// - saving, saveRequested: the window's save; the scheduler asks for one.
// - listDirty, sortPending: set by the scheduler (listDirty also by the virus
//   check and the extraction), cleared by the list refresh.
// - startWalkDue: set by a transfer's end, a command or a save, cleared by
//   the scheduler's walk.
// - schedulerStop/schedulerDone, virusCheck.thread, afterDownload.thread: the
//   stop handshakes, the window asking and the worker answering.
// - goFast, paused, goodNight, offline, noExitPrompt: button states, written
//   by the window and read by the scheduler.
// - metered: the window's hold for a metered connection (MeteredHold), kept
//   apart from the user's own Pause; the scheduler holds the queue for either.
// - activeCount, totalSize, totalReceived, rateAverage, recentRate, budget:
//   written by the scheduler (budget by the window's speed control), shown by
//   the window.
struct AppState {
  explicit AppState(std::string directory) : programDir(std::move(directory)) {}
  // The transfers go first: they may still point into the tree.
  ~AppState() {
    Tree::Access access(tree);
    activeTransfers.clear();
  }

  const std::string programDir;
  Tree tree;
  // Every transfer that exists, in start order; changed by the scheduler
  // thread only.
  std::vector<std::unique_ptr<Transfer>> activeTransfers GUARDED_BY(tree.lock());
  // The virus checker's queue (under the tree lock), stop handshake and halt.
  VirusCheckShared virusCheck;
  // The program after each download: its items (under the tree lock) and stop handshake.
  AfterDownloadShared afterDownload;
  // The captured item waiting for the Clip-and-Go question, if any; whoever
  // deletes an item clears it first.
  Item* clipAndGoItem GUARDED_BY(tree.lock()) = nullptr;

  std::atomic<bool> commandBusy{false};
  std::atomic<bool> saving{false};
  std::atomic<int> saveRequested{0};  // a SaveRequest
  std::atomic<bool> listDirty{false};
  std::atomic<bool> sortPending{false};

  // Set when a transfer ends or a command queues or starts an item: the
  // scheduler's next pass walks to start queued items at once.
  // It also wakes an idle scheduler, which otherwise sleeps to the next second.
  WakeFlag startWalkDue;

  std::atomic<bool> schedulerStop{false};
  std::atomic<bool> schedulerDone{false};

  std::atomic<bool> goFast{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> goodNight{false};
  std::atomic<bool> offline{false};
  std::atomic<bool> metered{false};
  std::atomic<bool> noExitPrompt{false};

  std::atomic<int> activeCount{0};
  std::atomic<int64_t> totalSize{0};
  std::atomic<int64_t> totalReceived{0};
  std::atomic<int64_t> rateAverage{0};  // bytes per second over the last ten seconds
  // The sum of the running items' recent rates, written with them: the
  // window's total agrees with its rows.
  std::atomic<int64_t> recentRate{0};
  std::atomic<int> budget{0};  // bytes per second; 0 while paused
};

}  // namespace pellmarsh
