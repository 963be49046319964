#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/item.h"
#include "store/tree.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// The fields of the URL Properties dialog: copies of an item's values, which
// reach the item only when the dialog is saved.
struct UrlForm {
  std::string url{};       // "value"
  std::string saveAs{};    // "local"
  std::string login{};     // "login"
  std::string password{};  // "password"
  std::string title{};     // "name"
  std::string log{};       // "log"; written back only when emptied
  int transferCode = 0;    // "transfercode": 0 chooses, 1 binary, 2 text
  bool rudeRetries = false;
  bool namedByUser = false;  // "namedbyuser": the user chose the save-as name
  double speedLimit = 0;     // "speedlimit": kilobytes per minute, 0 for none
  std::string checksum{};    // "checksum": "sha256:HEX", empty for none
  // A new item's URL may hold ranges and sets: each address becomes an item.
  bool rangesMakeItems = false;
};

UrlForm ReadUrlForm(const Item& item);
// A log field left non-empty is not written back: the transfer may have
// added lines since the dialog opened.
void WriteUrlForm(const UrlForm& form, Item& item);

// Whether a URL's file looks like text by its extension; only informs the user.
enum class TypeGuess { kBinary, kText };
const char* TypeGuessText(TypeGuess guess);

// The checksum field as typed, as the item keeps it: "sha256:HEX", or empty
// for none. Nothing, with `error`, for a text that is no checksum.
std::optional<std::string> ChecksumFieldValue(std::string_view typed, std::string& error);

// What the URL Properties dialog asks of the tree. Each call takes the tree
// lock for its own short work, so the dialog itself never holds it.
class UrlFormRules {
 public:
  UrlFormRules(Tree& tree, LocalNameRegistry& names) : tree_(tree), names_(names) {}

  // Applies the URL to the fields as to a URL item: a typed URL without a
  // scheme taken as http, canonical URL, credentials moved out of it, a unique
  // save-as path when empty, the title when empty. An unparsable URL leaves the
  // fields as typed, and so do ranges that make items.
  TypeGuess Derive(UrlForm& form);
  // Derives, then teaches the host's defaults what the user chose. Returns the
  // parse message of a URL that cannot be saved (an empty one too), having
  // taught nothing; empty when saved. Ranges that make items are only checked:
  // the message names their mistake, or the first address that cannot be saved.
  std::string Save(UrlForm& form);
  // The forms of the items a saved form's addresses make, each derived as if
  // typed alone, with its own save-as path.
  std::vector<UrlForm> ItemForms(const UrlForm& saved, const std::vector<std::string>& urls);
  TypeGuess Guess(const std::string& url);
  bool HidePasswords();
  // Whether rates are shown in kB/s rather than kilobytes per minute.
  bool BytesPerSecond();

 private:
  // Derive's work under the tree lock; the parse message, empty when it parsed.
  std::string ApplyLocked(Item& root, UrlForm& form);
  TypeGuess GuessLocked(Item& root, const std::string& url);

  Tree& tree_;
  LocalNameRegistry& names_;
};

}  // namespace pellmarsh
