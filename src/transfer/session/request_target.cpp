#include "transfer/session/request_target.h"

#include <algorithm>
#include <utility>

#include "store/ascii_case.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

// The scheme, host and port, as one text to compare.
std::string ServerOf(const UrlParts& parts) {
  return parts.GetProp(key::kProtocol) + "://" + AsciiLower(parts.GetProp(key::kHostName)) + ":" +
         parts.GetProp(key::kPort);
}

}  // namespace

void RequestTarget::BeginAttempt(const std::string& url) {
  url_ = url;
  redirectedFrom_.clear();
  loginAskedBy_.clear();
  onItemsServer_ = true;
}

void RequestTarget::TakeRedirect() {
  url_ = std::exchange(next_, std::string());
}

const UrlParts& RequestTarget::Parse() {
  parts_ = ParseUrlCopy(url_);
  return *parts_;
}

void RequestTarget::ChooseLogin(const Item& item, Item& settings) {
  if (onItemsServer_) {
    login_ = {item.GetProp(key::kLogin), item.GetProp(key::kPassword)};
  } else {
    login_ = HostLogin(settings, *parts_);
  }
}

bool RequestTarget::loginAsked(const Item& item) const {
  return onItemsServer_
             ? item.GetPropInt(key::kHttpAuth) != 0
             : std::ranges::find(loginAskedBy_, ServerOf(*parts_)) != loginAskedBy_.end();
}

void RequestTarget::AskAgainWithLogin(Item& item) {
  if (onItemsServer_) {
    item.SetPropInt(key::kHttpAuth, 1);
  } else {
    loginAskedBy_.push_back(ServerOf(*parts_));
  }
  next_ = url_;
}

std::string RequestTarget::Redirect(const std::string& target, const Item& item) {
  redirectedFrom_.push_back(url_);
  if (std::ranges::find(redirectedFrom_, target) != redirectedFrom_.end()) {
    return "Redirect loop: the server sent the download back to " + target;
  }
  if (redirectedFrom_.size() > kMostRedirects) {
    return "Too many redirects: more than " + std::to_string(kMostRedirects);
  }
  const std::unique_ptr<UrlParts> own = ParseUrlCopy(item.GetProp(key::kValue));
  const std::unique_ptr<UrlParts> next = ParseUrlCopy(target);
  onItemsServer_ = SameServer(*own, *next);
  next_ = target;
  return {};
}

}  // namespace pellmarsh
