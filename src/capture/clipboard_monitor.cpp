#include "capture/clipboard_monitor.h"

#include <string>
#include <unordered_set>

#include "capture/url_extraction.h"
#include "store/keys.h"

namespace pellmarsh {

std::vector<std::string> WrittenUrls(std::string_view text) {
  std::vector<std::string> urls;
  size_t pos = 0;
  while (const std::optional<TextSpan> span = FindSchemeCandidate(text, pos)) {
    urls.emplace_back(text.substr(span->start, span->end - span->start));
    pos = span->end;
  }
  return urls;
}

ClipboardCapture CaptureClipboardText(Item& root, LocalNameRegistry& names, std::string_view text,
                                      int64_t now) {
  ClipboardCapture capture;
  const std::vector<std::string> urls = WrittenUrls(text);
  if (urls.empty()) {
    return capture;
  }
  const std::unordered_set<std::string> known = KnownUrls(root);
  const bool clipAndGo = root.GetPropInt(setting::kClipAndGo) != 0;
  // Only a text that is this one URL and nothing else, not even a line
  // break, is offered.
  const bool wholeText = urls.size() == 1 && urls.front().size() == text.size();
  for (const std::string& candidate : urls) {
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
