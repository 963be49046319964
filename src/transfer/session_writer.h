#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "transfer/line_end_converter.h"
#include "transfer/save_file.h"

namespace pellmarsh {

class SessionHost;

// Everything between a session's received file data and its local file: the
// save file, the line-end conversion of text mode and the byte counts a resume
// goes on from. The exchanges write through it within a step; a write that
// fails fails the session.
class SessionWriter {
 public:
  // `now` starts the save file's reopen interval, in seconds since 1970.
  SessionWriter(SessionHost& session, int64_t now) : session_(session), saveFile_(now) {}

  // Opens the item's local file. False when it could not be opened (the
  // session has failed).
  bool Open();
  void Close() { saveFile_.Close(); }
  // A chunk of file data and its bookkeeping; false when writing failed (the
  // session has failed).
  bool Write(const char* bytes, size_t count);
  // The data that follows is written from `offset`, and as much counts as received.
  void ResumeAt(int64_t offset);
  // False when the file on disk cannot go on from `offset` of the source: a
  // text file's converted bytes only map back at the offsets recorded for it.
  bool CanResumeAt(int64_t offset) const;
  // Line ends are converted from here on while true: the transfer mode's
  // choice, or a content type or a listing that asks for text.
  void SetTextMode(bool textMode) { textMode_ = textMode; }
  bool textMode() const { return textMode_; }
  // The transfer ran to its end: writes what text mode still holds back and,
  // for a whole download, cuts the file where writing ended, then closes it.
  // False when writing failed (the session has failed; the file stays open).
  bool Finish(bool whole);
  // The item's file was renamed before any byte reached it: the empty file
  // opened under the old name goes, and the new one opens. False when it
  // could not be opened (the session has failed).
  bool Reopen();
  // Closes the file and forgets the attempt. With `dropEmptyFile` the file
  // this writer opened goes when nothing reached it: an empty file that ended
  // a download can be a whole one.
  void Reset(bool dropEmptyFile);

  int64_t received() const { return received_; }
  // Where writing stands in the local file: after Finish of a whole file, its length.
  int64_t writtenTo() const { return saveFile_.position(); }
  // Bytes of the last chunk written since StartStep.
  int64_t stepBytes() const { return stepBytes_; }
  void StartStep() { stepBytes_ = 0; }

 private:
  bool WriteConverted(const char* bytes, size_t count);
  bool FlushText();
  bool FailWriting();
  void DropOpenedFileIfEmpty();

  SessionHost& session_;
  SaveFile saveFile_;
  bool textMode_ = false;
  LineEndConverter converter_;
  std::string converted_;  // reused between writes; at most a chunk and one byte
  int64_t received_ = 0;
  int64_t stepBytes_ = 0;
  // Set when the file on disk was written in text mode: the source offset to
  // go on from and the length of the file those source bytes produced.
  std::optional<std::pair<int64_t, int64_t>> textResume_;
  bool bytesOnDisk_ = false;  // this attempt has written file data
};

}  // namespace pellmarsh
