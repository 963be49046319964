#pragma once

#include <QObject>

#include "app/app.h"
#include "view/item_commands.h"

namespace pellmarsh {

// Clips the URLs copied anywhere on the desktop into "_fileclip", and asks
// the Clip-and-Go question about the one the capture put aside.
class ClipboardWatcher final : public QObject {
 public:
  // `desk` shows the clipboard's tab and its rows.
  ClipboardWatcher(App& app, ItemCommands& commands, CommandDesk& desk)
      : app_(app), commands_(commands), desk_(desk) {}

  // Captures the clipboard's text after each change of it from now on.
  void Join();
  // The window's one-second timer asks here, once per candidate.
  void AskClipAndGo();

 private:
  void ProcessClipboard();
  void QueueQuietly(Item& item);

  App& app_;
  ItemCommands& commands_;
  CommandDesk& desk_;
  bool askingClipAndGo_ = false;
};

}  // namespace pellmarsh
