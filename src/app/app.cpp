#include "app/app.h"

#include "app/week_plan.h"
#include "store/builtin_tree.h"
#include "store/keys.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {

App::App(std::string programDir, UserMessages& messages, SoundPlayer& sounds, Clock& clock)
    : App(FoldersBesideProgram(programDir), messages, sounds, clock) {}

App::App(DataFolders folders, UserMessages& messages, SoundPlayer& sounds, Clock& clock)
    : state_(folders.programDir),
      messages_(messages),
      sounds_(sounds),
      clock_(clock),
      folders_(std::move(folders)),
      dataFile_(folders_.dataDir, SaveGuards{state_.commandBusy, state_.saving}, messages, clock,
                replacer_),
      events_(state_.tree, sounds),
      speed_(state_, events_),
      localNames_(state_.tree),
      work_(state_, messages, events_, localNames_, clock) {}

LoadOutcome App::LoadTree() {
  LoadOutcome outcome = dataFile_.LoadAtStartup(state_.tree);
  Tree::Access tree(state_.tree);
  if (outcome.fresh) {
    SetUpFreshDataFile(tree.root());
  }
  SetUpRootAndFolders(tree.root(), state_.programDir);
  MoveOlderDownloadsAside(tree.root());
  return outcome;
}

void App::CompleteBuiltInTree() {
  Tree::Access tree(state_.tree);
  SetUpDefaultsAndSettingsWithDownloads(tree.root(), folders_.downloadDir);
  BuildSoundTable(tree.root());
}

std::optional<WindowRect> App::SavedWindowRect(int screenWidth, int screenHeight) {
  Tree::Access tree(state_.tree);
  return pellmarsh::SavedWindowRect(tree.root(), screenWidth, screenHeight);
}

void App::StoreWindowState(const WindowRect& rect, const std::array<int, kListColumns>& widths) {
  Tree::Access tree(state_.tree);
  StoreWindowRect(tree.root(), rect);
  StoreColumnWidths(tree.root(), widths);
}

void App::RestoreToggles() {
  Tree::Access tree(state_.tree);
  state_.goFast = tree->GetPropInt(setting::kGoFast) != 0;
  state_.offline = tree->GetPropInt(setting::kOffline) != 0;
}

void App::SetGoFast(bool on) {
  state_.goFast = on;
  Tree::Access tree(state_.tree);
  tree->SetPropInt(setting::kGoFast, on ? 1 : 0);
}

std::string App::PlanText() {
  Tree::Access tree(state_.tree);
  return PlanStatusText(tree.root(), clock_.UnixTime());
}

std::string App::CurrentRateText() {
  bool bytesPerSecond = false;
  {
    Tree::Access tree(state_.tree);
    bytesPerSecond = tree->GetPropInt(setting::kBps) != 0;
  }
  // The rows show each item's recent rate: the total is their sum, taken in
  // the same second. A pause shows at once, before the rates have caught up.
  return RateText(state_.activeCount,
                  state_.paused || state_.metered ? 0 : state_.recentRate.load(), bytesPerSecond);
}

bool App::TakeUpgradeCheckDue() {
  constexpr int64_t kThirtyDays = 2'592'000;
  const int64_t now = clock_.UnixTime();
  Tree::Access tree(state_.tree);
  // Without an upgrade site there is nothing to check: the month waits for one.
  const bool due = tree->GetPropInt(setting::kCheckNewVersion) != 0 &&
                   tree->GetPropInt64(setting::kCheckNewTime) < now - kThirtyDays &&
                   !tree->GetProp(setting::kUpgradeUrl).empty();
  if (due) {
    tree->SetPropInt64(setting::kCheckNewTime, now);
  }
  return due;
}

bool App::MarkFirstStart() {
  Tree::Access tree(state_.tree);
  return pellmarsh::MarkFirstStart(tree.root(), clock_.UnixTime());
}

}  // namespace pellmarsh
