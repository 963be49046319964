#include "capture/url_form.h"

#include <algorithm>

#include "capture/url_item.h"
#include "checksum/checksum.h"
#include "store/keys.h"
#include "transfer/transfer_mode.h"
#include "transfer/unfinished_file.h"
#include "url/host_learning.h"
#include "url/url_globbing.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

bool ExpandsRanges(const UrlForm& form) {
  return form.rangesMakeItems && ExpandUrlGlob(form.url).expands;
}

std::string RangesProblem(const std::string& text) {
  const UrlGlob glob = ExpandUrlGlob(text);
  for (const std::string& url : glob.urls) {
    if (const std::string problem = UrlProblem(ExpandTypedUrl(url)); !problem.empty()) {
      return url + ": " + problem;
    }
  }
  return glob.error;
}

}  // namespace

UrlForm ReadUrlForm(const Item& item) {
  UrlForm form;
  form.url = item.GetProp(key::kValue);
  form.saveAs = item.GetProp(key::kLocal);
  form.login = item.GetProp(key::kLogin);
  form.password = item.GetProp(key::kPassword);
  form.title = item.GetProp(key::kName);
  form.log = item.GetProp(key::kLog);
  form.transferCode = item.GetPropInt(key::kTransferCode);
  form.rudeRetries = item.GetPropInt(key::kRudeRetries) != 0;
  form.namedByUser = item.GetPropInt(key::kNamedByUser) != 0;
  form.speedLimit = std::max(item.GetPropDouble(key::kSpeedLimit), 0.0);
  form.checksum = item.GetProp(key::kChecksum);
  return form;
}

void WriteUrlForm(const UrlForm& form, Item& item) {
  item.SetProp(key::kName, form.title);
  // A new address for bytes on disk goes on from them only if it serves the
  // same file.
  TakeNewAddress(item, form.url);
  item.SetProp(key::kLocal, form.saveAs);
  item.SetProp(key::kLogin, form.login);
  item.SetProp(key::kPassword, form.password);
  item.SetPropInt(key::kRudeRetries, form.rudeRetries ? 1 : 0);
  item.SetPropInt(key::kNamedByUser, form.namedByUser ? 1 : 0);
  item.SetPropInt(key::kTransferCode, form.transferCode);
  if (form.speedLimit > 0) {
    item.SetPropDouble(key::kSpeedLimit, form.speedLimit);
  } else {
    item.SetProp(key::kSpeedLimit, "");
  }
  // Bytes that failed one checksum may pass another: queued again, they are
  // checked afresh rather than fetched again.
  if (form.checksum != item.GetProp(key::kChecksum)) {
    item.SetProp(key::kChecksum, form.checksum);
    item.SetProp(key::kChecksumMismatch, "");
  }
  if (form.log.empty()) {
    item.SetProp(key::kLog, "");
  }
}

std::optional<std::string> ChecksumFieldValue(std::string_view typed, std::string& error) {
  if (typed.find_first_not_of(" \t") == std::string_view::npos) {
    return std::string();
  }
  const std::optional<Checksum> checksum = ParseChecksum(typed, error);
  if (!checksum) {
    return std::nullopt;
  }
  return ChecksumText(*checksum);
}

const char* TypeGuessText(TypeGuess guess) {
  return guess == TypeGuess::kText ? "(Looks like Text)" : "(Looks like Binary)";
}

TypeGuess UrlFormRules::GuessLocked(Item& root, const std::string& url) {
  // What the transfer itself would choose when left to it.
  const std::string extension = ParseUrlCopy(url)->GetProp(key::kExtension);
  return ChooseTransferMode(0, extension, root).textMode ? TypeGuess::kText : TypeGuess::kBinary;
}

TypeGuess UrlFormRules::Guess(const std::string& url) {
  Tree::Access tree(tree_);
  return GuessLocked(tree.root(), url);
}

std::string UrlFormRules::ApplyLocked(Item& root, UrlForm& form) {
  if (ExpandsRanges(form)) {
    return "";
  }
  Item scratch;
  scratch.SetProp(key::kName, form.title);
  scratch.SetProp(key::kValue, ExpandTypedUrl(form.url));
  scratch.SetProp(key::kLocal, form.saveAs);
  scratch.SetProp(key::kLogin, form.login);
  scratch.SetProp(key::kPassword, form.password);
  ApplyUrlToItem(root, names_, scratch);
  std::string error = scratch.GetProp(key::kError);
  if (!error.empty()) {
    return error;
  }
  form.url = scratch.GetProp(key::kValue);
  form.title = scratch.GetProp(key::kName);
  form.saveAs = scratch.GetProp(key::kLocal);
  form.login = scratch.GetProp(key::kLogin);
  form.password = scratch.GetProp(key::kPassword);
  return error;
}

TypeGuess UrlFormRules::Derive(UrlForm& form) {
  Tree::Access tree(tree_);
  ApplyLocked(tree.root(), form);
  return GuessLocked(tree.root(), form.url);
}

std::string UrlFormRules::Save(UrlForm& form) {
  if (ExpandsRanges(form)) {
    return RangesProblem(form.url);
  }
  Tree::Access tree(tree_);
  std::string error = ApplyLocked(tree.root(), form);
  if (error.empty()) {
    LearnHostDefaults(tree.root(), form.url, form.saveAs, form.login, form.password);
  }
  return error;
}

std::vector<UrlForm> UrlFormRules::ItemForms(const UrlForm& saved,
                                             const std::vector<std::string>& urls) {
  Tree::Access tree(tree_);
  std::vector<UrlForm> forms;
  forms.reserve(urls.size());
  for (const std::string& url : urls) {
    UrlForm form = saved;
    form.url = url;
    form.rangesMakeItems = false;
    // One path for them all would have each download overwrite the last,
    // and one checksum fits one file.
    form.saveAs.clear();
    form.namedByUser = false;
    form.checksum.clear();
    ApplyLocked(tree.root(), form);
    forms.push_back(std::move(form));
  }
  return forms;
}

bool UrlFormRules::HidePasswords() {
  Tree::Access tree(tree_);
  return tree->GetPropInt(setting::kHidePasswords) != 0;
}

bool UrlFormRules::BytesPerSecond() {
  Tree::Access tree(tree_);
  return tree->GetPropInt(setting::kBps) != 0;
}

}  // namespace pellmarsh
