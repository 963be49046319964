#include "url/text_classifier.h"

#include <algorithm>
#include <string>

#include "store/keys.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

bool IsControlByte(char c) {
  return static_cast<signed char>(c) < 32 && c != '\r' && c != '\n' && c != '\b';
}

}  // namespace

void ClassifyItem(Item& item) {
  std::string value = item.GetProp(key::kValue);
  const char* type = "_text";
  if (IsUrl(value)) {
    type = "_url";
  } else if (value.find(":\\") <= 2) {
    type = "_file";
  } else if (std::any_of(value.begin(), value.end(), IsControlByte)) {
    type = "_data";
  }
  item.SetProp(key::kType, type);
  item.SetProp(key::kValue, value);
}

}  // namespace pellmarsh
