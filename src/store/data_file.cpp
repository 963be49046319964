#include "store/data_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/program_dir.h"
#include "store/load_reset.h"
#include "store/tree_codec.h"

namespace pellmarsh {

DataFile::DataFile(std::string programDir, SaveGuards guards, UserMessages& messages, Clock& clock,
                   FileReplacer& replacer)
    : programDir_(std::move(programDir)),
      guards_(guards),
      messages_(messages),
      clock_(clock),
      replacer_(replacer) {}

std::string DataFile::Path() const {
  return JoinPath(programDir_, kFileName);
}

std::string DataFile::OldPath() const {
  return JoinPath(programDir_, kOldFileName);
}

void DataFile::LoadAtStartup(Tree& tree) {
  std::string path = Path();
  FileContents contents = ReadWholeFile(path);
  bool fromOldFile = false;
  if (!contents.bytes && contents.osError == ENOENT) {
    path = OldPath();
    contents = ReadWholeFile(path);
    fromOldFile = true;
  }

  if (!contents.bytes) {
    if (contents.osError != ENOENT) {
      ReportDamage(path,
                   std::string("it could not be read (") + std::strerror(contents.osError) + ")", 0,
                   false);
    }
    return;
  }
  TreeLoadResult result;
  {
    auto access = tree.Lock();
    result = LoadTree(access.root(), *contents.bytes);
    access->ForEach(ResetItemOnLoad);
  }
  // A damaged old-name file is left in place: nothing else reads it, and the
  // user may still want the part that could not be loaded.
  const bool keepOldFile = fromOldFile && !result.complete;
  if (fromOldFile && !keepOldFile) {
    ::unlink(path.c_str());
  }
  // The question waits for the user, so it is asked without the tree lock.
  if (!result.complete) {
    ReportDamage(path, result.problem, result.itemsRead, keepOldFile);
  }
}

void DataFile::ReportDamage(const std::string& path, const std::string& problem, size_t itemsKept,
                            bool oldFileKept) {
  std::string text = "The data file " + path + " is damaged: " + problem + ".\n\n";
  if (itemsKept == 0) {
    text += "Nothing could be read from it; Pellmarsh starts with a new tree.";
  } else {
    text += "Pellmarsh kept the " + std::to_string(itemsKept) +
            " items it could read before that point and starts with them.";
  }
  text += oldFileKept ? " The damaged file is left where it is."
                      : " The next save replaces the file with what is kept.";
  messages_.Show({text, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation});
}

void DataFile::Save(Tree& tree) {
  if (guards_.saving) {
    return;
  }
  while (guards_.commandBusy) {
    clock_.SleepMs(100);
  }
  guards_.saving = true;

  {
    auto access = tree.Lock();
    SaveTree(access.root(), saveBuffer_);
  }
  const std::string& bytes = saveBuffer_;
  std::optional<FileFailure> failure;
  for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
    failure = replacer_.Replace(Path(), bytes);
    if (!failure) {
      break;
    }
    clock_.SleepMs(200);
  }
  if (failure) {
    const std::string text =
        "Non-fatal error - Could not save data file [" + Path() +
        "] [Exception:" + std::to_string(failure->cause) +
        ", Errno:" + std::to_string(failure->osError) +
        "].\n\nPlease report this problem on the Pellmarsh issue tracker, quoting this "
        "message exactly as it stands, with the file name and the error codes.";
    messages_.Show({text, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation});
  }
  guards_.saving = false;
}

void RequestSave(std::atomic<int>& saveRequested) {
  int seen = saveRequested.load();
  for (;;) {
    const int wanted = seen == kSaveIdle      ? kSaveRequested
                       : seen == kSaveWriting ? kSaveRequestedWhileWriting
                                              : seen;
    if (wanted == seen || saveRequested.compare_exchange_weak(seen, wanted)) {
      return;
    }
  }
}

void DataFile::SaveIfRequested(Tree& tree, std::atomic<int>& saveRequested) {
  int expected = kSaveRequested;
  if (!saveRequested.compare_exchange_strong(expected, kSaveWriting)) {
    return;
  }
  Save(tree);
  expected = kSaveWriting;
  if (!saveRequested.compare_exchange_strong(expected, kSaveIdle)) {
    saveRequested = kSaveRequested;
  }
}

}  // namespace pellmarsh
