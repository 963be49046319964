// Whole downloads checked against their checksum before they take their final
// name, through the real scheduler thread and nginx.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "platform/resolver.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "support/app_harness.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/wait.h"
#include "transfer/base64.h"
#include "transfer/session/text_fetch.h"
#include "transfer/unfinished_file.h"

namespace pellmarsh {
namespace {

std::string Sha256(const std::string& bytes, bool hex) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  const std::string raw(reinterpret_cast<char*>(digest), size);
  if (!hex) {
    return Base64Encode(raw);
  }
  std::string text;
  for (unsigned char c : raw) {
    text += "0123456789abcdef"[c >> 4];
    text += "0123456789abcdef"[c & 0xf];
  }
  return text;
}

// Large enough to be fetched in parts with more than one connection.
const std::string kBytes = testing::RandomBytes(6'000'000, 11);

TEST(ChecksumCheck, WholeFileIsNamedOnlyWhenItsDigestMatches) {
  struct Case {
    const char* what;
    const char* path;
    int connections;
    std::string checksum;  // the user's
    bool passes;
    std::string logged;
  };
  const std::string right = "sha256:" + Sha256(kBytes, true);
  const std::string wrongMd5 = "md5:" + std::string(32, '0');
  const Case cases[] = {
      {"the user's, on one connection", "/plain.bin", 1, right, true, "Checksum verified (sha256)"},
      {"the server's Repr-Digest, in parts", "/digest.bin", 4, "", true,
       "Checksum verified (sha256)"},
      {"the user's over the server's, in parts", "/digest.bin", 4, wrongMd5, false,
       "Checksum mismatch: expected " + wrongMd5 + ", got "},
      {"a wrong one, on one connection", "/plain.bin", 1, wrongMd5, false,
       "Checksum mismatch: expected " + wrongMd5 + ", got "},
      {"none for bytes fetched as text", "/notes.txt", 1, wrongMd5, true,
       "The checksum is not checked: the line ends were converted."},
  };
  testing::NginxServer::Options options;
  options.extraConfig = "    location = /digest.bin {\n      add_header Repr-Digest \"sha-256=:" +
                        Sha256(kBytes, false) + ":\";\n    }\n";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/plain.bin", kBytes);
  nginx.AddFile("/digest.bin", kBytes);
  nginx.AddFile("/notes.txt", kBytes);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::AppHarness harness;
    App& app = harness.Load();
    const std::string local = harness.dir.File("file.bin");
    Item& item = harness.Queue(nginx.Url(c.path), local);
    {
      Tree::Access tree(app.tree());
      tree->SetPropInt(setting::kConnectionsPerDownload, c.connections);
      item.SetProp(key::kChecksum, c.checksum);
      item.SetPropInt(key::kTransferCode, std::string_view(c.path).ends_with(".txt") ? 2 : 1);
    }
    app.StartWorkers();
    ASSERT_TRUE(testing::WaitFor(
        [&] {
          const int status = harness.Status(item);
          return status == kStatusComplete || status == kStatusFailed;
        },
        std::chrono::seconds(20)));
    harness.StopWorkers();
    Tree::Access tree(app.tree());
    EXPECT_EQ(item.GetPropInt(key::kStatus), c.passes ? kStatusComplete : kStatusFailed);
    const std::string log = item.GetProp(key::kLog);
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_EQ(log.find("The server serves the file in parts.") != std::string::npos,
              c.connections > 1);
    // Bytes that failed never stand under the final name.
    EXPECT_EQ(std::filesystem::exists(local), c.passes);
    EXPECT_EQ(
        static_cast<int64_t>(std::filesystem::file_size(c.passes ? local : UnfinishedFileOf(item))),
        item.GetPropInt64(key::kSize));
  }
}

// A sums file is fetched into memory, never larger than its bound, and is no
// download of the list.
TEST(ChecksumCheck, ASumsFileIsFetchedByTheEngineIntoMemory) {
  testing::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/SHA256SUMS", "abc  a.iso\n");
  nginx.AddFile("/huge", std::string(TextFetch::kLargest + 100'000, 'x'));
  struct Case {
    const char* path;
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"/SHA256SUMS", "abc  a.iso\n", ""},
      {"/missing", "", "Failure: HTTP/1.1 404 Not Found"},
      {"/huge", "", "It is larger than 4 MB."},
  };
  testing::AppHarness harness;
  App& app = harness.Load();
  SystemResolver resolver;
  for (const Case& c : cases) {
    TextFetch fetch(app.tree(), resolver, app.clock(), nginx.Url(c.path));
    ASSERT_TRUE(testing::WaitFor([&] { return fetch.done(); }, std::chrono::seconds(10)));
    EXPECT_EQ(fetch.text().value_or(""), c.text) << c.path;
    EXPECT_EQ(fetch.error(), c.error) << c.path;
  }
  Tree::Access tree(app.tree());
  EXPECT_EQ(tree->FindByName("_filelist")->ChildCount(), 0);
}

}  // namespace
}  // namespace pellmarsh
