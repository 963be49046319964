#include "ui/tabbed_list.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTabBar>

#include "store/keys.h"
#include "ui/download_list.h"
#include "view/list_columns.h"
#include "view/list_refresh.h"

namespace pellmarsh {

TabbedList::TabbedList(App& app) : app_(app), tabs_(new QTabBar), list_(new DownloadList) {
  tabs_->setObjectName("tabs");
  tabs_->setExpanding(false);
  list_->setObjectName("downloadList");
  list_->setAccessibleName("Downloads");
  list_->header()->setObjectName("downloadListHeader");
  list_->header()->setAccessibleName("Columns");
  list_->onColumnsChanged = [this] { StoreColumnLayout(); };
}

void TabbedList::SetUp() {
  {
    Tree::Access tree(app_.tree());
    for (int tab = 0; tab < kListTabs; ++tab) {
      tabs_->addTab(TabCaption(tab));
      sortHeaders_[static_cast<size_t>(tab)] = SortHeaderOf(tab, TabSortSetting(tree.root(), tab));
    }
    layoutTab_ = tabs_->currentIndex();
    list_->ApplyLayout(TabColumnLayout(tree.root(), layoutTab_));
  }
  ShowSortArrow(layoutTab_);
}

void TabbedList::Step(int step) {
  tabs_->setCurrentIndex((tabs_->currentIndex() + step + tabs_->count()) % tabs_->count());
}

void TabbedList::StoreColumnLayout() {
  const ColumnLayout layout = list_->Layout();
  Tree::Access tree(app_.tree());
  StoreTabColumnLayout(tree.root(), layoutTab_, layout);
}

void TabbedList::ShowTab(int tab) {
  StoreColumnLayout();
  layoutTab_ = tab;
  {
    Tree::Access tree(app_.tree());
    list_->ApplyLayout(TabColumnLayout(tree.root(), tab));
  }
  ShowSortArrow(tab);
  list_->ClearRows();
}

void TabbedList::SortBy(int tab, int column) {
  int& sortHeader = sortHeaders_[static_cast<size_t>(tab)];
  {
    Tree::Access tree(app_.tree());
    const PropKey sort = setting::TabSort(tab);
    tree->SetPropInt(sort, SortSettingAfterClick(tab, column, TabSortSetting(tree.root(), tab),
                                                 sortHeader == column));
  }
  sortHeader = column;
  ShowSortArrow(tab);
  app_.state().sortPending = true;
}

void TabbedList::ShowSortArrow(int tab) {
  bool reversed = false;
  {
    Tree::Access tree(app_.tree());
    reversed = SortIsReversed(TabSortSetting(tree.root(), tab));
  }
  list_->ShowSortArrow(sortHeaders_[static_cast<size_t>(tab)], reversed);
}

void TabbedList::Rename(Item& item, const std::string& name) {
  Tree::Access tree(app_.tree());
  if (!name.empty()) {
    item.SetProp(key::kName, name);
    item.SetPropInt64(key::kModified, app_.clock().UnixTime());
  } else {
    item.SetProp(key::kName, item.GetProp(key::kName));  // shows the old name again
  }
}

bool TabbedList::Refresh(int tab) {
  RefreshOutcome outcome;
  {
    Tree::Access tree(app_.tree());
    // A selected row that goes must not ask for the buttons under the lock.
    const QSignalBlocker quiet(list_);
    const QSignalBlocker quietSelection(list_->selectionModel());
    outcome =
        RefreshRows(tree.root(), tab, list_->rows(),
                    {app_.state().listDirty, app_.state().sortPending}, app_.clock().UnixTime());
  }
  if (outcome.typeListMissing) {
    return false;
  }
  shownCount_ = outcome.shownCount;
  return true;
}

}  // namespace pellmarsh
