#include "capture/clipboard_monitor.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "capture/url_extraction.h"
#include "store/ascii_case.h"
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

std::vector<std::string> FileTypesOf(std::string_view list) {
  constexpr std::string_view kApart = " \t,";
  std::vector<std::string> types;
  for (size_t start = list.find_first_not_of(kApart); start != std::string_view::npos;) {
    const size_t end = std::min(list.find_first_of(kApart, start), list.size());
    types.push_back(AsciiLower(list.substr(start, end - start)));
    start = list.find_first_not_of(kApart, end);
  }
  return types;
}

bool LinksToFileOfType(std::string_view url, std::string_view types) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) {
    return false;
  }
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  const size_t path = rest.find('/');
  if (path == std::string_view::npos) {
    return false;
  }
  const std::string_view segment = rest.substr(rest.rfind('/') + 1);
  const size_t dot = segment.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == segment.size()) {
    return false;
  }
  const std::vector<std::string> listed = FileTypesOf(types);
  return std::find(listed.begin(), listed.end(), AsciiLower(segment.substr(dot + 1))) !=
         listed.end();
}

ClipboardCapture CaptureClipboardText(Item& root, LocalNameRegistry& names, std::string_view text,
                                      int64_t now) {
  ClipboardCapture capture;
  const bool clipAndGo = root.GetPropInt(setting::kClipAndGo) != 0;
  // The question is asked of every copied link, whatever else was chosen.
  const ClipboardWatch watch =
      clipAndGo ? ClipboardWatch::kAsk : root.GetPropEnum(setting::kClipWatch);
  const std::vector<std::string> urls =
      watch == ClipboardWatch::kOff ? std::vector<std::string>() : WrittenUrls(text);
  if (urls.empty()) {
    return capture;
  }
  const std::string fileTypes = root.GetProp(setting::kClipFileTypes);
  const std::unordered_set<std::string> known = KnownUrls(root);
  // Only a text that is this one URL and nothing else, not even a line
  // break, is offered.
  const bool wholeText = urls.size() == 1 && urls.front().size() == text.size();
  for (const std::string& candidate : urls) {
    if (known.contains(candidate) ||
        (watch == ClipboardWatch::kFileLinks && !LinksToFileOfType(candidate, fileTypes))) {
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
