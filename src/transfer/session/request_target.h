#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/item.h"
#include "url/local_naming.h"
#include "url/url_parser.h"

namespace pellmarsh {

// Where one attempt of a session asks: the item's own URL, or where
// redirects led within the attempt, and the login for the server asked.
class RequestTarget {
 public:
  // Browsers give up after about as many.
  static constexpr int kMostRedirects = 20;

  // The attempt's first request goes to `url`, the item's own.
  void BeginAttempt(const std::string& url);
  // Whether a redirect or a login asked again since the last request; the
  // next one goes there.
  bool redirected() const { return !next_.empty(); }
  void TakeRedirect();
  // The URL asked now, parsed again for its request.
  const UrlParts& Parse();
  const std::string& url() const { return url_; }
  const UrlParts& parts() const { return *parts_; }

  // The item's own login on its URL's server, that server's settings on
  // another a redirect led to.
  void ChooseLogin(const Item& item, Item& settings);
  const Login& login() const { return login_; }
  // Whether the server asked for the login: the item's own in any attempt
  // ("httpauth"), another within this one.
  bool loginAsked(const Item& item) const;
  void AskAgainWithLogin(Item& item);

  // The next request goes to `target`; the error the attempt fails with for
  // good when it makes a loop or one too many.
  std::string Redirect(const std::string& target, const Item& item);

 private:
  std::string url_;
  std::unique_ptr<UrlParts> parts_;
  std::vector<std::string> redirectedFrom_;  // the URLs this attempt asked before url_
  std::string next_;                         // where the next request goes, after a redirect
  bool onItemsServer_ = true;
  std::vector<std::string> loginAskedBy_;  // the other servers that asked, this attempt
  Login login_;
};

}  // namespace pellmarsh
