#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "capture/native_message.h"
#include "notify/events.h"
#include "platform/clock.h"
#include "platform/desktop_notifications.h"
#include "url/local_name_registry.h"
#include "view/item_commands.h"

namespace pellmarsh {

// Links handed over by other programs (the command line, the session bus):
// each becomes an item of the download list through the same rules as a
// drop, queued or held as "parm-queuelinks" says. Runs on the window thread.
class LinkIntake {
 public:
  LinkIntake(AppState& state, LocalNameRegistry& names, ItemCommands& commands, EventSink& events,
             DesktopNotifications& desktop, Clock& clock)
      : state_(state),
        names_(names),
        commands_(commands),
        events_(events),
        desktop_(desktop),
        clock_(clock) {}

  // One answer per link, in order: empty when it was added, else why not.
  // Sounds "QUEUE" once when any was queued, "COPY" when any was held.
  std::vector<std::string> AddLinks(const std::vector<std::string>& links);
  // The same for a browser's downloads, each item taking what the browser
  // knew of its link. A download whose own link expired goes on with the
  // fresh one, and the desktop is told.
  std::vector<std::string> AddDownloads(const std::vector<HandedDownload>& downloads);
  // What the newest download of `url` heard from its server: "started" once
  // the file comes (of `size` bytes, when that is not -1), the reason once it
  // failed or waits to retry, empty while it has not heard yet.
  std::string FirstAnswerOf(const std::string& url, int64_t size);

 private:
  // The new item, held; null with the reason in problem.
  Item* AddLink(const HandedDownload& download, std::string& problem);

  AppState& state_;
  LocalNameRegistry& names_;
  ItemCommands& commands_;
  EventSink& events_;
  DesktopNotifications& desktop_;
  Clock& clock_;
};

}  // namespace pellmarsh
