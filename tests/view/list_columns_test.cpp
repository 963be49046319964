#include "view/list_columns.h"

#include <gtest/gtest.h>

#include "store/keys.h"
#include "view/list_rows.h"

namespace pellmarsh {
namespace {

constexpr std::array<int, kListColumns> kOldWidths = {100, 300, 300};

// "name url size ... status", '-' before a hidden column: the layout without widths.
std::string Order(const ColumnLayout& layout) {
  std::string order;
  for (const ColumnState& state : layout) {
    order += std::string(order.empty() ? "" : " ") + (state.shown ? "" : "-") +
             ColumnLayoutText({{state.column, 1, true}}).substr(0, 20);
    order.resize(order.size() - 2);  // the ":1"
  }
  return order;
}

struct LayoutRow {
  const char* what;
  const char* text;
  const char* read;  // the layout read back, as text
};

TEST(ListColumns, ALayoutReadsBackWhateverTheTextHolds) {
  const ColumnLayout defaults = DefaultColumnLayout(kTabPending, kOldWidths);
  const LayoutRow rows[] = {
      {"nothing stored: the default", "",
       "name:100 url:300 size:65 progress:65 speed:75 timeleft:60 connections:80 -added:110 "
       "-finished:110 status:300"},
      {"a whole layout as stored",
       "status:200 -url:90 name:80 size:1 progress:2 speed:3 timeleft:4 connections:5 added:6 "
       "finished:7",
       "status:200 -url:90 name:80 size:1 progress:2 speed:3 timeleft:4 connections:5 added:6 "
       "finished:7"},
      {"missing columns come back after the one they follow by default",
       "status:200 name:80 url:90",
       "status:200 name:80 url:90 size:65 progress:65 speed:75 timeleft:60 connections:80 "
       "-added:110 -finished:110"},
      {"unknown, repeated and badly sized columns are passed over",
       "name:80 colour:5 name:90 url:0 url:x url:20000 url:12a url:70 -name:3 status:1",
       "name:80 url:70 size:65 progress:65 speed:75 timeleft:60 connections:80 -added:110 "
       "-finished:110 status:1"},
      {"the file name is always shown", "-name:80",
       "name:80 url:300 size:65 progress:65 speed:75 timeleft:60 connections:80 -added:110 "
       "-finished:110 status:300"},
      {"spaces and words without widths", "  url  size:9 :5 -",
       "name:100 url:300 size:9 "
       "progress:65 speed:75 timeleft:60 connections:80 -added:110 -finished:110 status:300"},
  };
  for (const LayoutRow& row : rows) {
    EXPECT_EQ(ColumnLayoutText(ParseColumnLayout(row.text, defaults)), row.read) << row.what;
  }
}

TEST(ListColumns, EachTabShowsTheCellsItsItemsFill) {
  const struct {
    int tab;
    const char* order;
  } rows[] = {
      {kTabPending, "name url size progress speed timeleft connections -added -finished status"},
      {kTabCompleted,
       "name url size -progress -speed -timeleft -connections -added finished status"},
      {kTabArchive, "name url size -progress -speed -timeleft -connections -added finished status"},
      {kTabClipboard,
       "name url -size -progress -speed -timeleft -connections added -finished status"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Order(DefaultColumnLayout(row.tab, kOldWidths)), row.order) << "tab " << row.tab;
  }
}

// Data files of before keep their widths; each tab keeps its own layout.
TEST(ListColumns, TabsKeepTheirOwnLayoutAndOldWidthsStillCount) {
  Item root;
  root.SetPropInt(setting::kColumn1Width, 120);
  root.SetPropInt(setting::kColumn3Width, 400);
  ColumnLayout pending = TabColumnLayout(root, kTabPending);
  EXPECT_EQ(pending.front().width, 120);
  EXPECT_EQ(pending[1].width, 130);  // narrower beside the running figures
  EXPECT_EQ(TabColumnLayout(root, kTabArchive)[1].width, 300);
  EXPECT_EQ(pending.back().column, kColumnStatus);
  EXPECT_EQ(pending.back().width, 400);

  std::swap(pending.front(), pending.back());
  pending[3].shown = false;
  StoreTabColumnLayout(root, kTabPending, pending);
  EXPECT_EQ(ColumnLayoutText(TabColumnLayout(root, kTabPending)), ColumnLayoutText(pending));
  EXPECT_EQ(TabColumnLayout(root, kTabCompleted).front().column, kColumnName);
  EXPECT_EQ(root.GetProp(setting::TabColumns(kTabPending)).substr(0, 11), "status:400 ");
}

}  // namespace
}  // namespace pellmarsh
