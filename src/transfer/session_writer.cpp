#include "transfer/session_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/data_file.h"
#include "store/keys.h"
#include "transfer/session_host.h"
#include "transfer/session_log.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {

bool SessionWriter::Open() {
  Item& item = session_.urlItem();
  const std::string path = UnfinishedFileOf(item);
  int64_t fileSize = 0;
  if (!saveFile_.Open(path, fileSize)) {
    const int error = errno;
    session_.Fail("Couldn't open save file " + path + ".", ShortageOutcome(error));
    return false;
  }
  // A text file's length is not the server's offset, its line ends having
  // been converted: go on only from the source offset recorded for a part of
  // it (cutting what came after), or start over.
  const int64_t textLength = item.GetPropInt64(key::kTextLength);
  if (textLength > 0 && fileSize >= textLength) {
    textResume_.emplace(item.GetPropInt64(key::kTextSource), textLength);
    fileSize = textResume_->first;
  } else if (textLength > 0 || textMode_) {
    fileSize = 0;
  }
  item.SetPropInt64(key::kFileSize, fileSize);
  return true;
}

bool SessionWriter::Write(const char* bytes, size_t count) {
  stepBytes_ = static_cast<int64_t>(count);
  if (!WriteConverted(bytes, count)) {
    return FailWriting();
  }
  Item& item = session_.urlItem();
  received_ += static_cast<int64_t>(count);
  item.SetPropInt64(key::kReceived, received_);
  item.SetPropInt64(key::kReceivedSession,
                    item.GetPropInt64(key::kReceivedSession) + static_cast<int64_t>(count));
  if (textMode_) {
    item.SetPropInt64(key::kTextSource, received_ - (converter_.holdsByte() ? 1 : 0));
    item.SetPropInt64(key::kTextLength, saveFile_.position());
  } else if (textResume_) {
    textResume_.reset();
    item.SetPropInt64(key::kTextLength, 0);
  }
  if (!bytesOnDisk_ && count > 0) {
    // From now on a restart after a crash goes on from the file.
    bytesOnDisk_ = true;
    item.SetPropInt(key::kResume, 1);
    if (std::atomic<int>* saveRequested = session_.context().saveRequested) {
      RequestSave(*saveRequested);
    }
  }
  return true;
}

bool SessionWriter::WriteConverted(const char* bytes, size_t count) {
  const int64_t now = session_.context().clock.UnixTime();
  if (count == 0) {
    return true;
  }
  bool written;
  if (textMode_) {
    converted_.clear();
    converter_.Convert(bytes, count, converted_);
    written = saveFile_.Write(converted_.data(), converted_.size());
  } else {
    written = saveFile_.Write(bytes, count);
  }
  // The reopen interval counts the source's bytes, whatever text mode made of them.
  return written && saveFile_.NoteReceived(count, now);
}

void SessionWriter::ResumeAt(int64_t offset) {
  received_ = offset;
  const bool atRecordedText = textResume_ && offset == textResume_->first;
  saveFile_.SeekTo(atRecordedText ? textResume_->second : offset);
  session_.urlItem().SetPropInt64(key::kReceived, offset);
}

bool SessionWriter::CanResumeAt(int64_t offset) const {
  if (offset == 0 || (!textMode_ && !textResume_)) {
    return true;
  }
  return textResume_ && offset == textResume_->first;
}

bool SessionWriter::Finish(bool whole) {
  if (textMode_ && !FlushText()) {
    return FailWriting();
  }
  // A finished file ends where this transfer stopped writing; a file kept for a
  // resume stays as it is.
  if (whole && !saveFile_.TruncateAtPosition()) {
    return FailWriting();
  }
  saveFile_.Close();
  return true;
}

bool SessionWriter::FlushText() {
  converted_.clear();
  converter_.Flush(converted_);
  return converted_.empty() || saveFile_.Write(converted_.data(), converted_.size());
}

bool SessionWriter::FailWriting() {
  session_.Fail("Error writing local file!", FailOutcome::kPermanent);
  return false;
}

bool SessionWriter::Reopen() {
  saveFile_.Close();
  DropOpenedFileIfEmpty();
  return Open();
}

void SessionWriter::DropOpenedFileIfEmpty() {
  // Only the file this writer opened may go, and only when nothing reached it.
  const std::string& opened = saveFile_.path();
  struct stat info {};
  if (!opened.empty() && ::stat(opened.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size == 0) {
    ::unlink(opened.c_str());
  }
}

void SessionWriter::Reset(bool dropEmptyFile) {
  saveFile_.Close();
  if (dropEmptyFile) {
    DropOpenedFileIfEmpty();
  }
  received_ = 0;
  textResume_.reset();
  bytesOnDisk_ = false;
  textMode_ = false;
  converter_.Reset();
}

}  // namespace pellmarsh
