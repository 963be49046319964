#include "capture/url_extraction.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "capture/url_item.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "url/local_naming.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr std::string_view kSchemeMark = "://";

bool IsAsciiLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Bytes of 128 and above end a value like blanks and control characters do.
bool EndsAnyValue(unsigned char c) {
  return c < '!' || c >= 0x80 || c == '<' || c == '>' || c == '[' || c == ']';
}

bool EndsWrittenUrl(unsigned char c) {
  return EndsAnyValue(c) || c == '"' || c == '\'';
}

bool MatchesLowerCase(std::string_view text, size_t at, std::string_view lower) {
  for (size_t i = 0; i < lower.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[at + i]);
    if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != static_cast<unsigned char>(lower[i])) {
      return false;
    }
  }
  return true;
}

// The next "src=" or "href=" starting at or after from, any letter case;
// returns the position just after its "=". Both end in "=", and the first
// "=" that completes either is also the earliest start of one.
size_t FindAttributeValue(std::string_view line, size_t from) {
  size_t eq = from;
  for (;;) {
    const void* found = std::memchr(line.data() + eq, '=', line.size() - eq);
    if (!found) {
      return std::string_view::npos;
    }
    eq = static_cast<size_t>(static_cast<const char*>(found) - line.data());
    if ((eq >= from + 3 && MatchesLowerCase(line, eq - 3, "src")) ||
        (eq >= from + 4 && MatchesLowerCase(line, eq - 4, "href"))) {
      return eq + 1;
    }
    ++eq;
  }
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<TextSpan> FindSchemeCandidate(std::string_view text, size_t from) {
  const size_t mark = text.find(kSchemeMark, from);
  if (mark == std::string_view::npos) {
    return std::nullopt;
  }
  size_t start = mark;
  while (start > from && IsAsciiLetter(static_cast<unsigned char>(text[start - 1]))) {
    --start;
  }
  size_t end = mark + kSchemeMark.size();
  while (end < text.size() && !EndsWrittenUrl(static_cast<unsigned char>(text[end]))) {
    ++end;
  }
  return TextSpan{start, end};
}

bool ScanPageLine(std::string_view line, const CandidateVisitor& visit) {
  size_t pos = 0;
  // The next match of each kind is kept while it lies ahead, so a line is
  // searched once however long it is and however many values it holds.
  constexpr size_t kNone = std::string_view::npos;
  size_t attributeStart = kNone;  // where "src=" or "href=" begins
  size_t attributeValue = kNone;  // just after its "="
  std::optional<TextSpan> written;
  bool attributeKnown = false;
  bool writtenKnown = false;
  for (;;) {
    if (!attributeKnown || (attributeStart != kNone && attributeStart < pos)) {
      attributeStart = kNone;
      attributeValue = FindAttributeValue(line, pos);
      if (attributeValue != kNone) {
        const bool src = line[attributeValue - 2] == 'c' || line[attributeValue - 2] == 'C';
        attributeStart = attributeValue - (src ? 4 : 5);
      }
      attributeKnown = true;
    }
    if (!writtenKnown || (written && written->start < pos)) {
      written = FindSchemeCandidate(line, pos);
      writtenKnown = true;
    }
    if (attributeStart == kNone && !written) {
      return true;
    }
    size_t begin;
    size_t end;
    if (attributeStart != kNone && (!written || attributeStart < written->start)) {
      begin = attributeValue;
      if (begin >= line.size()) {
        return true;
      }
      char quote = 0;
      if (line[begin] == '"' || line[begin] == '\'') {
        quote = line[begin++];
      }
      end = begin;
      while (end < line.size() && !EndsAnyValue(static_cast<unsigned char>(line[end])) &&
             line[end] != quote) {
        ++end;
      }
      attributeKnown = false;
    } else {
      begin = written->start;
      end = written->end;
      writtenKnown = false;
    }
    if (end == begin) {
      return true;
    }
    if (!visit(line.substr(begin, end - begin))) {
      return false;
    }
    pos = end;
  }
}

bool VisitCandidates(const std::string& path, bool listing, const CandidateVisitor& visit) {
  const std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return false;
  }
  char* buffer = nullptr;
  size_t capacity = 0;
  bool more = true;
  while (more) {
    const ssize_t read = ::getline(&buffer, &capacity, file.get());
    if (read < 0) {
      break;
    }
    std::string_view line(buffer, static_cast<size_t>(read));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    if (!listing) {
      more = ScanPageLine(line, visit);
    } else if (!line.empty()) {
      more = visit("/" + std::string(line));
    }
  }
  std::free(buffer);
  return true;
}

ExtractionSource ExtractionSourceOf(const Item& item) {
  return {item.GetProp(key::kLocal), item.GetProp(key::kValue),
          item.GetPropInt(key::kWasIndex) != 0};
}

std::string ResolveCandidate(const std::string& candidate, const LinkBase& page) {
  std::string url;
  if (ParseUrlCopy(candidate)->GetProp(key::kError).empty()) {
    url = candidate;
    CollapseDotDotSegments(url);
  } else {
    url = page.Resolve(candidate);
  }
  if (!url.starts_with("http:") && !url.starts_with("https:") && !url.starts_with("ftp:")) {
    return std::string();
  }
  return url;
}

std::optional<ExtractionPlan> PlanExtraction(const ExtractionSource& source, size_t countUpTo) {
  // A page needs a directory to resolve against: a URL with nothing after its
  // host has none, and a local file's links are not the network's. Asked
  // before the file is read and scanned.
  const size_t mark = source.value.find(kSchemeMark);
  const size_t rest = mark == std::string::npos ? 0 : mark + kSchemeMark.size();
  if (source.value.find('/', rest) == std::string::npos || source.value.starts_with("file:")) {
    return std::nullopt;
  }
  // Resolving copies the page's URL into every link: a page of a million
  // links to one name would otherwise hold a million copies.
  ExtractionPlan plan;
  const LinkBase page(source.value);
  std::unordered_set<std::string> seen;  // raw: the same text resolves the same way
  std::unordered_set<std::string> kept;
  const bool read = VisitCandidates(source.local, source.listing, [&](std::string_view candidate) {
    if (++plan.candidateCount > countUpTo) {
      return false;
    }
    auto [text, fresh] = seen.emplace(candidate);
    if (!fresh) {
      return true;
    }
    std::string url = ResolveCandidate(*text, page);
    if (!url.empty() && kept.insert(url).second) {
      plan.urls.push_back(std::move(url));
    }
    return true;
  });
  if (!read) {
    return std::nullopt;
  }
  return plan;
}

std::unordered_set<std::string> KnownUrls(Item& root) {
  std::unordered_set<std::string> known;
  for (const std::string_view name : {folder::kFileList, folder::kFileArchive, folder::kFileClip}) {
    const Item* folder = root.FindChild(name);
    if (!folder) {
      continue;
    }
    for (int i = 0; i < folder->ChildCount(); ++i) {
      const Item& item = *folder->ChildAt(i);
      known.insert(item.GetProp(key::kValue));
      known.insert(item.GetProp(key::kOriginalValue));
    }
  }
  return known;
}

Item& ClipFolder(Item& root) {
  return root.FindOrCreateChild(folder::kFileClip);
}

Item* ClipCapturedUrl(Item& root, LocalNameRegistry& names, const std::string& text, int64_t now) {
  std::unique_ptr<Item> item = MakeCapturedUrlItem(root, names, text, now);
  if (!item) {
    return nullptr;
  }
  item->SetPropInt(key::kStatus, kStatusClipped);
  // A record writes no file: the name is the download's to take, if it
  // ever becomes one.
  names.Release(item->GetProp(key::kLocal));
  return &ClipFolder(root).AddChild(std::move(item));
}

size_t AddExtractedUrls(Item& root, LocalNameRegistry& names, const std::vector<std::string>& urls,
                        int64_t now) {
  std::unordered_set<std::string> known = KnownUrls(root);
  known.reserve(known.size() + urls.size());
  size_t added = 0;
  for (const std::string& url : urls) {
    if (known.contains(url)) {
      continue;
    }
    known.insert(url);
    // A listing line may hold a tab or a non-ASCII byte: that is data, not a URL.
    if (ClipCapturedUrl(root, names, url, now)) {
      ++added;
    }
  }
  return added;
}

size_t ExtractAutomatically(Tree& tree, LocalNameRegistry& names, const ExtractionSource& source,
                            int64_t now) {
  // More candidates than the clip list may ever hold are refused below,
  // whatever the list holds now: counting further would change nothing.
  const std::optional<ExtractionPlan> plan = PlanExtraction(source, kAutomaticClipLimit);
  if (!plan) {
    return 0;
  }
  Tree::Access access(tree);
  Item& root = access.root();
  if (plan->candidateCount > kExtractionAskAbove) {
    const Item* clip = root.FindChild(folder::kFileClip);
    const size_t clipped = clip ? static_cast<size_t>(clip->ChildCount()) : 0;
    if (clipped + plan->candidateCount > kAutomaticClipLimit) {
      return 0;
    }
  }
  return AddExtractedUrls(root, names, plan->urls, now);
}

std::string ExtractionQuestion(const std::string& value, size_t candidates) {
  return "Extracting URLs from " + value + ".\r\n\r\nPellmarsh has found " +
         std::to_string(candidates) +
         " potential URLs.\r\nAre you sure you want to extract them?\r\nLarge extraction lists "
         "can slow Pellmarsh down until you purge them....";
}

}  // namespace pellmarsh
