#pragma once

#include <array>
#include <string>

#include "app/app.h"
#include "view/list_rows.h"

class QTabBar;

namespace pellmarsh {

class DownloadList;

// The download list under its tabs: each tab's columns and sort order, kept in
// the settings, and the rows of the tab in front.
class TabbedList final {
 public:
  explicit TabbedList(App& app);

  // Owned by the window once it lays them out.
  QTabBar* tabs() const { return tabs_; }
  DownloadList* list() const { return list_; }

  // The tabs, and the first one's columns and sort arrow as the settings left them.
  void SetUp();
  void Step(int step);
  // The columns shown, into the setting of the tab they belong to.
  void StoreColumnLayout();
  // `tab`'s columns and sort arrow, once the last tab's are stored; its rows
  // are made anew by the next refresh.
  void ShowTab(int tab);
  // A click on `column`'s header while `tab` is in front: the tab's order in
  // the settings and its arrow; the rows follow at the next refresh.
  void SortBy(int tab, int column);
  // A name edited in the list; an empty one shows the old name again.
  void Rename(Item& item, const std::string& name);
  // Brings `tab`'s rows up to date; false when the type list has gone.
  bool Refresh(int tab);
  int shownCount() const { return shownCount_; }

 private:
  // The header flips its own arrow on a click; this puts it where the order is.
  void ShowSortArrow(int tab);

  App& app_;
  QTabBar* tabs_;
  DownloadList* list_;
  // The tab whose columns the list shows.
  int layoutTab_ = 0;
  // The header each tab was last sorted by, for its arrow; -1 for none.
  std::array<int, kListTabs> sortHeaders_{};
  int shownCount_ = 0;
};

}  // namespace pellmarsh
