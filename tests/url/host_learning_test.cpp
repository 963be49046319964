#include "url/host_learning.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "url/host_defaults.h"

namespace pellmarsh {
namespace {

// "localpath|login|password" of an entry; "none" for no entry.
std::string Describe(const Item* entry) {
  return entry ? entry->GetProp(key::kLocalPath) + "|" + entry->GetProp(key::kLogin) + "|" +
                     entry->GetProp(key::kPassword)
               : "none";
}

struct LearnRow {
  const char *what, *url, *saveAs, *login, *password;
  const char* before[3];  // the host's entry beforehand; none when null
  bool permanent;
  const char* after;
};

const LearnRow kLearnRows[] = {
    {"all defaults record nothing", "http://host/a", "/dl/a", "anon", "pw", {}, false, "none"},
    {"only the password is stored", "http://host/a", "/dl/a", "anon", "new", {}, false, "||new"},
    {"a directory is stored", "http://host/a", "/srv/a", "anon", "pw", {}, false, "/srv||"},
    {"the entry follows the user back to the defaults",
     "http://HOST/a",
     "/dl/a",
     "anon",
     "new",
     {"/srv", "bob", ""},
     false,
     "/dl|anon|new"},
    {"an empty field given the default stays empty",
     "http://host/a",
     "/dl/a",
     "anon",
     "new",
     {"", "", "old"},
     false,
     "||new"},
    {"a permanent entry never changes",
     "http://host/a",
     "/srv/a",
     "joe",
     "x",
     {"/p", "bob", ""},
     true,
     "/p|bob|"},
    {"no host teaches nothing", "file:///srv/a", "/srv/a", "joe", "x", {}, false, "none"},
    {"the new-host entry's name is no host",
     "http://(default for new hosts)/",
     "/srv/a",
     "joe",
     "x",
     {},
     false,
     "none"},
};

TEST(LearnHostDefaults, AHostGetsAnEntryOnlyForValuesThatDifferFromTheDefaults) {
  for (const LearnRow& row : kLearnRows) {
    Item root;
    Item& newHost = NewHostEntry(root);
    newHost.SetProp(key::kLocalPath, "/dl");
    newHost.SetProp(key::kLogin, "anon");
    newHost.SetProp(key::kPassword, "pw");
    if (row.before[0]) {
      Item& entry = HostDefaults(root).FindOrCreateChild("host");
      entry.SetProp(key::kLocalPath, row.before[0]);
      entry.SetProp(key::kLogin, row.before[1]);
      entry.SetProp(key::kPassword, row.before[2]);
      entry.SetPropInt(key::kPermanent, row.permanent);
    }
    LearnHostDefaults(root, row.url, row.saveAs, row.login, row.password);
    EXPECT_EQ(Describe(HostDefaults(root).FindChild("host")), row.after) << row.what;
    EXPECT_EQ(HostDefaults(root).ChildCount(), std::string(row.after) == "none" ? 1 : 2)
        << row.what;
    EXPECT_EQ(Describe(&newHost), "/dl|anon|pw") << row.what;
  }
}

}  // namespace
}  // namespace pellmarsh
