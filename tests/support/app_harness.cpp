#include "support/app_harness.h"

#include <mutex>

#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh::testing {

AppHarness::~AppHarness() {
  if (app_ && app_->workersRunning()) {
    StopWorkers();
  }
}

App& AppHarness::Open() {
  app_.reset();
  app_ = std::make_unique<App>(dir.path(), messages, sounds, clock);
  return *app_;
}

App& AppHarness::Load() {
  App& app = Open();
  app.LoadTree();
  app.CompleteBuiltInTree();
  app.state().budget = 1'000'000'000;
  return app;
}

App& AppHarness::Start() {
  App& app = Load();
  app.StartWorkers();
  return app;
}

void AppHarness::StopWorkers() {
  app_->StopWorkers([this] { clock.SleepMs(20); });
}

void AppHarness::CheckVirusesWith(const std::string& checker) {
  Tree::Access tree(app_->tree());
  tree->SetPropEnum(setting::kVirusCheck, VirusCheckMode::kAutomatic);
  tree->SetProp(setting::kVirusProgram, checker);
  tree->SetProp(setting::kVirusCommand, "%1");
  tree->SetProp(setting::kVirusReturns, "1");
  tree->SetProp(setting::kVirusReturnsGood, "0");
  tree->SetPropEnum(setting::kVirusAlert, InfectedFileAction::kMarkOnly);
}

Item& AppHarness::Queue(const std::string& url, const std::string& local) {
  TreeLockGuard lock(app_->tree().lock());
  Item& item = app_->tree().root().FindByName("_filelist")->AddChild(std::make_unique<Item>());
  item.SetProp(key::kType, "_url");
  item.SetProp(key::kValue, url);
  item.SetProp(key::kLocal, local);
  item.SetPropInt(key::kStatus, kStatusQueued);
  return item;
}

int AppHarness::Status(const Item& item) {
  TreeLockGuard lock(app_->tree().lock());
  return item.GetPropInt(key::kStatus);
}

}  // namespace pellmarsh::testing
