#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/thread_annotations.h"
#include "store/item.h"
#include "store/tree.h"
#include "url/local_name_registry.h"
#include "url/local_naming.h"

namespace pellmarsh {

// Above this many candidates an extraction is questioned: the user is asked,
// or an automatic run checks the clip list's size.
inline constexpr size_t kExtractionAskAbove = 200;
// An automatic run leaves "_fileclip" alone rather than grow it past this.
inline constexpr size_t kAutomaticClipLimit = 1000;

// Where a URL written out in text lies: [start, end) of the text scanned.
struct TextSpan {
  size_t start = 0;
  size_t end = 0;
};

// The first "scheme://..." in text at or after from: the letters just before
// the "://" (not before from), up to a blank, control or non-ASCII byte, a
// quote, an angle or a square bracket. None when no "://" is left.
std::optional<TextSpan> FindSchemeCandidate(std::string_view text, size_t from);

// Sees one raw reference at a time; returns false to end the scan there.
using CandidateVisitor = std::function<bool(std::string_view)>;

// Hands on the references of one line of a page or text, in line order:
// "src=" and "href=" values (any letter case, quoted or not) and URLs written
// out. An empty value ends the line's scan. False when the visitor ended it.
bool ScanPageLine(std::string_view line, const CandidateVisitor& visit);

// Hands on the raw references of a downloaded file, duplicates included: one
// "/name" per non-empty line of an FTP listing, otherwise the page scan of
// each line. False when the file cannot be read.
bool VisitCandidates(const std::string& path, bool listing, const CandidateVisitor& visit);

// What an extraction needs of its item, copied under the tree lock so the
// file can be read without it.
struct ExtractionSource {
  std::string local;
  std::string value;
  bool listing = false;  // "wasindex": the file is an FTP directory listing
};
ExtractionSource ExtractionSourceOf(const Item& item);

// The part of an extraction that needs no tree: the file read and scanned,
// the references made absolute and kept, each once, when they are http, https
// or ftp URLs. The scan stops once the count passes `countUpTo` (it is then
// countUpTo + 1), so it never holds more than that many URLs, whatever the page.
struct ExtractionPlan {
  size_t candidateCount = 0;
  std::vector<std::string> urls;
};
inline constexpr size_t kCountEveryCandidate = static_cast<size_t>(-1);
// None when the file cannot be read or the item's URL has no directory to
// resolve against.
std::optional<ExtractionPlan> PlanExtraction(const ExtractionSource& source,
                                             size_t countUpTo = kCountEveryCandidate);
// One reference as the plan keeps it; empty when it is dropped.
std::string ResolveCandidate(const std::string& candidate, const LinkBase& page);

// "value" and "originalvalue" of every URL item queued, archived or clipped.
// Call with the tree lock held.
std::unordered_set<std::string> KnownUrls(Item& root);

// "_fileclip", made on first use. Call with the tree lock held.
Item& ClipFolder(Item& root);

// A captured text as a new clipped item at the end of "_fileclip"; nothing
// when the text makes no URL item. Call with the tree lock held.
Item* ClipCapturedUrl(Item& root, LocalNameRegistry& names, const std::string& text, int64_t now);

// Appends the URLs not known yet to "_fileclip" as clipped items; a URL found
// twice is added once. Returns how many were added. Call with the tree lock held.
size_t AddExtractedUrls(Item& root, LocalNameRegistry& names, const std::vector<std::string>& urls,
                        int64_t now);

// The automatic run after a completed transfer: reads and scans without the
// tree lock, then adds in one short locked step, unless more than 200
// candidates would take "_fileclip" past 1000 items. Returns how many were added.
size_t ExtractAutomatically(Tree& tree, LocalNameRegistry& names, const ExtractionSource& source,
                            int64_t now) EXCLUDES(tree.lock());

// The question of an interactive extraction with more than 200 candidates.
std::string ExtractionQuestion(const std::string& value, size_t candidates);

}  // namespace pellmarsh
