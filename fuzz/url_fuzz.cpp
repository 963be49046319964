// Any bytes as URL text, clipboard text or redirect target: parsing must not
// crash, a parsed URL must survive formatting and parsing again (all but the
// user part), names a port a socket can hold and a host fit for a request
// line, and no name taken from a URL may leave its directory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "local_name_check.h"
#include "store/keys.h"
#include "url/local_naming.h"
#include "url/text_classifier.h"
#include "url/url_parser.h"

namespace {

using key = pellmarsh::key;

using pellmarsh::Item;
using pellmarsh::PropKey;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::string Describe(const Item& parts) {
  std::string text;
  for (PropKey key : {key::kError, key::kProtocol, key::kHostName, key::kHostAddr, key::kPort,
                      key::kOddPort, key::kFullPath, key::kPath, key::kFile, key::kExtension}) {
    text += std::string(key.text()) + "=" + parts.GetProp(key) + "\n";
  }
  return text;
}

void CheckParse(const std::string& input) {
  std::string text = input;
  const auto parts = pellmarsh::ParseUrl(text);
  const std::string error = parts->GetProp(key::kError);
  Require(IsSafeLocalName(pellmarsh::LocalFileName(*parts)));
  if (!error.empty()) {
    Require(error == pellmarsh::kMalformedUrl || error == pellmarsh::kIncompleteUrl ||
            error == pellmarsh::kBadIPv6Literal || error == pellmarsh::kControlCharacterInUrl ||
            error.rfind("Unsupported protocol: ", 0) == 0);
    return;
  }
  if (parts->GetProp(key::kProtocol) != "file") {
    const int port = parts->GetPropInt(key::kPort);
    Require(port >= 1 && port <= 65535);
    Require(!pellmarsh::HoldsControlCharacter(parts->GetProp(key::kHostName)));
  }
  std::string canonical = pellmarsh::FormatUrl(*parts);
  std::string checked = canonical;
  Require(pellmarsh::IsUrl(checked) && checked == canonical);
  const auto again = pellmarsh::ParseUrl(canonical);
  Require(Describe(*again) == Describe(*parts));
}

void CheckIsUrlAndClassify(const std::string& input) {
  std::string text = input;
  const bool isUrl = pellmarsh::IsUrl(text);
  if (isUrl) {
    std::string twice = text;
    Require(pellmarsh::IsUrl(twice) && twice == text);
  } else {
    Require(text == input);
  }
  Item item;
  item.SetProp(key::kValue, input);
  pellmarsh::ClassifyItem(item);
  const std::string type = item.GetProp(key::kType);
  Require(type == "_url" || type == "_file" || type == "_data" || type == "_text");
  Require((type == "_url") == isUrl && item.GetProp(key::kValue) == text);
}

// A target that names no network scheme is resolved on the requested host
// and never climbs out of it; one that does is kept as it came.
void CheckRedirect(const std::string& location) {
  pellmarsh::Tree tree;
  pellmarsh::LocalNameRegistry names(tree);
  Item item;
  item.SetProp(key::kLocal, "/nonexistent-pellmarsh-dir/page.html");
  const std::string target = pellmarsh::RedirectTarget(location, "http://host/a/b/page.html");
  pellmarsh::RenameForRedirect(names, item, target);
  const std::string local = item.GetProp(key::kLocal);
  Require(local.rfind("/nonexistent-pellmarsh-dir/", 0) == 0 &&
          IsSafeLocalName(local.substr(local.rfind('/') + 1)));
  const std::string scheme = pellmarsh::ParseUrlCopy(location)->GetProp(key::kProtocol);
  if (scheme != "http" && scheme != "https" && scheme != "ftp") {
    std::string resolved = target;
    Require(pellmarsh::ParseUrl(resolved)->GetProp(key::kHostName) == "host");
  } else {
    Require(target == location);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckParse(input);
  CheckIsUrlAndClassify(input);
  CheckRedirect(input);
  return 0;
}
