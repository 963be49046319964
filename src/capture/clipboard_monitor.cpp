#include "capture/clipboard_monitor.h"

#include <string>
#include <unordered_set>

#include "capture/url_extraction.h"
#include "store/keys.h"

namespace pellmarsh {

ClipboardCapture CaptureClipboardText(Item& root, LocalNameRegistry& names, std::string_view text,
                                      int64_t now) {
  ClipboardCapture capture;
  if (text.find("://") == std::string_view::npos) {
    return capture;
  }
  const std::unordered_set<std::string> known = KnownUrls(root);
  const bool clipAndGo = root.GetPropInt(setting::kClipAndGo) != 0;
  size_t pos = 0;
  while (const std::optional<TextSpan> span = FindSchemeCandidate(text, pos)) {
    const std::string candidate(text.substr(span->start, span->end - span->start));
    // Only a text that is this one URL and nothing else, not even a line
    // break, is offered: the first candidate of it spans all that is left.
    const bool wholeText = span->start == pos && span->end == text.size();
    pos = span->end;
    if (known.contains(candidate)) {
      continue;
    }
    Item* added = ClipCapturedUrl(root, names, candidate, now);
    if (!added) {
      continue;
    }
    ++capture.captured;
    if (wholeText && clipAndGo) {
      capture.clipAndGo = added;
      capture.startAtOnce = root.GetPropInt(setting::kClipStart) != 0;
    }
  }
  return capture;
}

}  // namespace pellmarsh
