#include "url/ftp_data_memory.h"

#include <gtest/gtest.h>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "url/host_defaults.h"

namespace pellmarsh {
namespace {

TEST(FtpDataMemory, AHostGetsAnEntryOnlyForAnUnusualCommandAndFollowsItAfterwards) {
  Item root;
  Item& newHost = NewHostEntry(root);
  const struct {
    const char* what;
    const char* host;
    const char* worked;
    const char* remembered;  // afterwards, "none" for no entry
  } rows[] = {
      {"the usual command makes no entry", "ftp.example.net", "EPSV", "none"},
      {"PASV is remembered", "ftp.example.net", "PASV", "PASV"},
      {"the host's name in any case finds it", "FTP.Example.NET", "PORT", "PORT"},
      {"back to the usual, the entry follows", "ftp.example.net", "EPSV", "EPSV"},
      {"the new-host entry never learns", kDefaultHostEntry, "PORT", ""},
  };
  for (const auto& row : rows) {
    RememberFtpDataCommand(root, row.host, row.worked, "EPSV");
    const Item* entry = FindHostDefaults(root, row.host);
    EXPECT_EQ(entry ? entry->GetProp(key::kFtpDataCommand) : "none", row.remembered) << row.what;
    EXPECT_EQ(RememberedFtpDataCommand(root, row.host), entry ? row.remembered : "") << row.what;
  }
  EXPECT_EQ(newHost.GetProp(key::kFtpDataCommand), "");
  EXPECT_EQ(HostDefaults(root).ChildCount(), 2);
}

}  // namespace
}  // namespace pellmarsh
