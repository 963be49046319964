#include "store/data_file.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
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

LoadOutcome DataFile::LoadAtStartup(Tree& tree) {
  std::string path = Path();
  FileContents contents = ReadWholeFile(path);
  bool fromOldFile = false;
  if (!contents.bytes && contents.osError == ENOENT) {
    path = OldPath();
    contents = ReadWholeFile(path);
    fromOldFile = true;
  }

  LoadOutcome outcome;
  if (!contents.bytes) {
    if (contents.osError == ENOENT) {
      outcome.fresh = true;
      return outcome;
    }
    const std::string reason = std::strerror(contents.osError);
    if (!fromOldFile) {
      // Whatever is in it may be all the user has: never save over it.
      saveForbidden_ = true;
      outcome.unreadable = true;
      outcome.report = UserMessage{
          "Pellmarsh cannot read its data file " + path + ": " + reason + ". Nothing was changed.",
          "Pellmarsh", MessageButtons::kOk, MessageIcon::kStop};
      return outcome;
    }
    outcome.report = DamageReport(path, "it could not be read (" + reason + ")", 0, path);
    return outcome;
  }
  TreeLoadResult result;
  {
    Tree::Access access(tree);
    result = LoadTree(access.root(), *contents.bytes);
    access->ForEach(ResetItemOnLoad);
  }
  if (result.complete) {
    if (fromOldFile) {
      ::unlink(path.c_str());
    }
    return outcome;
  }
  // A damaged old-name file is left in place: nothing else reads it. A damaged
  // pmarsh.dat is copied aside before the next save replaces it.
  std::string whereKept = path;
  if (!fromOldFile) {
    if (std::optional<std::string> copy = KeepDamagedCopy(*contents.bytes)) {
      whereKept = *copy;
      // A start that ends without a save (a crash, SIGKILL) would otherwise
      // meet the same damage, and copy it, again.
      Write(tree);
    } else {
      saveForbidden_ = true;
    }
  }
  outcome.report = DamageReport(path, result.problem, result.itemsKept, whereKept);
  return outcome;
}

std::optional<std::string> DataFile::ExistingDamagedCopy(std::string_view bytes) const {
  DIR* directory = ::opendir(programDir_.c_str());
  if (!directory) {
    return std::nullopt;
  }
  const std::string prefix = std::string(kFileName) + kDamagedMark;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string copy = JoinPath(programDir_, entry->d_name);
    if (std::string_view(entry->d_name).starts_with(prefix) &&
        ReadWholeFile(copy).bytes == std::optional<std::string>(bytes)) {
      found = copy;
      break;
    }
  }
  ::closedir(directory);
  return found;
}

std::optional<std::string> DataFile::KeepDamagedCopy(std::string_view bytes) {
  if (std::optional<std::string> kept = ExistingDamagedCopy(bytes)) {
    return kept;
  }
  const std::time_t now = static_cast<std::time_t>(clock_.UnixTime());
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string copy = Path() + kDamagedMark + stamp;
  if (replacer_.Replace(copy, bytes)) {
    return std::nullopt;
  }
  return copy;
}

UserMessage DataFile::DamageReport(const std::string& path, const std::string& problem,
                                   size_t itemsKept, const std::string& whereKept) {
  std::string text = "The data file " + path + " is damaged: " + problem + ".\n\n";
  if (itemsKept == 0) {
    text += "Nothing could be read from it; Pellmarsh starts with a new tree.";
  } else {
    text += "Pellmarsh kept the " + std::to_string(itemsKept) +
            " items it could read before that point and starts with them.";
  }
  if (saveForbidden_) {
    text += " A copy of the damaged file could not be made, so Pellmarsh will not save over it.";
  } else if (whereKept == path) {
    text += " The damaged file is left where it is.";
  } else {
    text += " The damaged file is kept as " + whereKept + ".";
  }
  return {text, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation};
}

std::optional<FileFailure> DataFile::Write(Tree& tree) {
  {
    Tree::Access access(tree);
    SaveTree(access.root(), saveBuffer_);
  }
  std::optional<FileFailure> failure;
  for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
    failure = replacer_.Replace(Path(), saveBuffer_);
    if (!failure) {
      break;
    }
    clock_.SleepMs(200);
  }
  if (saveBuffer_.capacity() > kKeptBufferBytes) {
    std::string().swap(saveBuffer_);
  }
  return failure;
}

std::string DataFile::FailureText(const FileFailure& failure) const {
  return "Non-fatal error - Could not save data file [" + Path() +
         "] [Exception:" + std::to_string(failure.cause) +
         ", Errno:" + std::to_string(failure.osError) + "].";
}

void DataFile::Save(Tree& tree) {
  if (guards_.saving || saveForbidden_) {
    return;
  }
  while (guards_.commandBusy) {
    clock_.SleepMs(100);
  }
  guards_.saving = true;
  if (const std::optional<FileFailure> failure = Write(tree)) {
    const std::string text =
        FailureText(*failure) +
        "\n\nPlease report this problem on the Pellmarsh issue tracker, quoting this "
        "message exactly as it stands, with the file name and the error codes.";
    messages_.Show({text, "Pellmarsh", MessageButtons::kOk, MessageIcon::kExclamation});
  }
  guards_.saving = false;
}

std::optional<std::string> DataFile::SaveUnattended(Tree& tree) {
  if (saveForbidden_) {
    return "the data file " + Path() + " was left as it was found at start-up";
  }
  std::optional<FileFailure> failure = Write(tree);
  if (!failure) {
    return std::nullopt;
  }
  return FailureText(*failure) + " (" + std::strerror(failure->osError) + ")";
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

bool DataFile::SaveIfRequested(Tree& tree, std::atomic<int>& saveRequested) {
  int expected = kSaveRequested;
  if (!saveRequested.compare_exchange_strong(expected, kSaveWriting)) {
    if (++quietTicks_ == kQuietTicks) {
      std::string().swap(saveBuffer_);
    }
    return false;
  }
  quietTicks_ = 0;
  Save(tree);
  expected = kSaveWriting;
  if (!saveRequested.compare_exchange_strong(expected, kSaveIdle)) {
    saveRequested = kSaveRequested;
  }
  return true;
}

}  // namespace pellmarsh
