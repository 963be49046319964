#include "ui/clipboard_watcher.h"

#include <QClipboard>
#include <QGuiApplication>
#include <string_view>
#include <utility>

#include "capture/clipboard_monitor.h"
#include "store/keys.h"
#include "view/list_rows.h"

namespace pellmarsh {

// Under X11 and XWayland every change of the CLIPBOARD selection arrives
// here; a Wayland desktop tells only the focused program.
void ClipboardWatcher::Join() {
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &ClipboardWatcher::ProcessClipboard);
}

// A capture may land inside another command's question: it must neither
// lend that command its "QUEUE" sound nor act as a lone user selection, which
// would take the "All" answers away from the File Exists dialog.
void ClipboardWatcher::QueueQuietly(Item& item) {
  commands_.ApplyDirectly(item, kCommandQueue, false);
}

void ClipboardWatcher::ProcessClipboard() {
  const QByteArray text = QGuiApplication::clipboard()->text(QClipboard::Clipboard).toUtf8();
  AppState& state = app_.state();
  ClipboardCapture capture;
  {
    Tree::Access tree(state.tree);
    capture = CaptureClipboardText(tree.root(), app_.localNames(),
                                   std::string_view(text.constData(), size_t(text.size())),
                                   app_.clock().UnixTime());
    if (capture.clipAndGo && !capture.startAtOnce) {
      state.clipAndGoItem = capture.clipAndGo;
    }
  }
  if (capture.clipAndGo && capture.startAtOnce) {
    QueueQuietly(*capture.clipAndGo);
  }
  if (capture.captured > 0) {
    app_.events().RaiseEvent("COPY");
    if (desk_.CurrentTab() != kTabClipboard) {
      desk_.SelectTab(kTabClipboard);
    }
  }
  desk_.RefreshList();
}

void ClipboardWatcher::AskClipAndGo() {
  // The timer keeps running under the question's own event loop.
  if (askingClipAndGo_) {
    return;
  }
  AppState& state = app_.state();
  Item* item = nullptr;
  std::string value;
  {
    Tree::Access tree(state.tree);
    item = std::exchange(state.clipAndGoItem, nullptr);
    if (!item) {
      return;
    }
    value = item->GetProp(key::kValue);
  }
  askingClipAndGo_ = true;
  const MessageAnswer answer = app_.messages().Show(
      {value + "\r\n\r\nPut this URL on the download queue?", "Pellmarsh: Clip and Go",
       MessageButtons::kOkCancel, MessageIcon::kQuestion});
  askingClipAndGo_ = false;
  if (answer != MessageAnswer::kOk) {
    return;
  }
  // The item may have been deleted or moved while the question was open.
  bool stillClipped;
  {
    Tree::Access tree(app_.tree());
    const Item* clip = tree->FindChild(folder::kFileClip);
    stillClipped = clip && clip->IndexOfChild(item) >= 0 && item->GetProp(key::kValue) == value;
  }
  if (stillClipped) {
    QueueQuietly(*item);
    desk_.RefreshList();
  }
}

}  // namespace pellmarsh
