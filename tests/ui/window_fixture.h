#pragma once

#include <QApplication>
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "app/app.h"
#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

namespace pellmarsh::testing {

// The main window over a program directory that has started before, built the
// way the program builds it.
struct WindowFixture {
  // Writes the data file; adjust sees the root before it is written.
  void WriteStartedBefore(const std::function<void(Item&)>& adjust = {}) {
    Item root;
    MarkFirstStart(root, 1765000000);
    // Full speed, so that downloads take no time worth waiting for.
    root.SetPropInt(setting::kGoFast, 1);
    root.SetProp(setting::kHighSpeed, "10000000.000000");
    if (adjust) {
      adjust(root);
    }
    WriteFile(dir.File("pmarsh.dat"), SaveTree(root));
  }

  // Messages go to `answers` when given, else to `messages`.
  bool Start(DesktopProbe probe, UserMessages* answers = nullptr) {
    app = std::make_unique<App>(dir.path(), answers ? *answers : messages, sounds, clock);
    window = std::make_unique<MainWindow>(*app, std::move(probe));
    if (!window->Initialise()) {
      return false;
    }
    window->show();
    return true;
  }

  ~WindowFixture() {
    if (app && app->workersRunning()) {
      app->StopWorkers([this] { clock.SleepMs(20); });
    }
    window.reset();
    app.reset();
  }

  int Status(const Item& item) {
    Tree::Access tree(app->tree());
    return item.GetPropInt(key::kStatus);
  }

  TempDir dir;
  RecordingMessages messages;
  RecordingSounds sounds;
  JumpClock clock;
  std::unique_ptr<App> app;
  std::unique_ptr<MainWindow> window;
};

// A queued URL item in "_filelist" of a root about to be written.
inline Item& AddQueuedUrl(Item& root, const std::string& url, const std::string& local) {
  auto item = std::make_unique<Item>();
  item->SetProp(key::kType, "_url");
  item->SetProp(key::kValue, url);
  item->SetProp(key::kLocal, local);
  item->SetPropInt(key::kStatus, kStatusQueued);
  return root.FindOrCreateChild(folder::kFileList).AddChild(std::move(item));
}

// The visible top-level dialog with this object name, if one is open.
template <typename Dialog>
Dialog* OpenDialog(const char* objectName) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == objectName && widget->isVisible()) {
      return dynamic_cast<Dialog*>(widget);
    }
  }
  return nullptr;
}

}  // namespace pellmarsh::testing
