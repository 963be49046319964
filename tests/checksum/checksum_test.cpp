// The checksum field's text and the digest headers a server may send.
#include "checksum/checksum.h"

#include <gtest/gtest.h>

#include <string>

#include "checksum/digest_header.h"

namespace pellmarsh {
namespace {

const std::string kSha256(64, 'a');
const std::string kMd5 = "d41d8cd98f00b204e9800998ecf8427e";

TEST(Checksum, FieldTextsAreReadOrRefusedWithAReason) {
  struct Case {
    std::string typed;
    std::string stored;  // empty: refused
    const char* error;
  };
  const Case cases[] = {
      {"sha256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA",
       "sha256:" + kSha256, ""},
      {"  MD5:D41D8CD98F00B204E9800998ECF8427E \t", "md5:" + kMd5, ""},
      {"d41d8cd98f00b204e9800998ecf8427e", "md5:" + kMd5, ""},  // the length names it
      {std::string(40, 'f'), "sha1:" + std::string(40, 'f'), ""},
      {std::string(128, '0'), "sha512:" + std::string(128, '0'), ""},
      {"sha256:abc", "", "A sha256 checksum has 64 hex digits, not 3."},
      {"crc32:abcd", "", "A checksum names md5, sha1, sha256 or sha512, such as sha256:HEX."},
      {"sha1:xyz", "", "A checksum is hex digits (0-9, a-f), such as sha256:HEX."},
      {"sha1:", "", "A checksum is hex digits (0-9, a-f), such as sha256:HEX."},
      {"abcdef", "",
       "Hex digits alone must number 32 (md5), 40 (sha1), 64 (sha256) or 128 (sha512)."},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<Checksum> parsed = ParseChecksum(c.typed, error);
    EXPECT_EQ(parsed ? ChecksumText(*parsed) : "", c.stored) << c.typed;
    EXPECT_EQ(error, c.error) << c.typed;
  }
}

// The sha-256 of "hello world" and the sha-512 of nothing, in Base64.
constexpr char kHello256[] = "uU0nuZNNPgilLlLX2n2r+sSE7+N6U4DukIj3rOLvzek=";
constexpr char kHello256Hex[] = "b94d27b9934d3e08a52e52d7da7dabfac484efe37a5380ee9088f7ace2efcde9";
constexpr char kEmpty512[] =
    "z4PhNX7vuL3xVChQ1m2AB9Yg5AULVxXcg/SpIdNs6c5H0NE8XYXysP+DGNKHfuwvY7kxvUdBeoGlODJ6+SfaPg==";

TEST(Checksum, ServersWholeFileDigestIsTakenFromEitherHeader) {
  struct Case {
    const char* name;
    std::string value;
    std::string digest;  // empty: none
  };
  const Case cases[] = {
      {"repr-digest", std::string("sha-256=:") + kHello256 + ":",
       std::string("sha256:") + kHello256Hex},
      {"repr-digest", std::string("unixsum=:AAA=:, sha-256=:") + kHello256 + ":;q=1",
       std::string("sha256:") + kHello256Hex},
      {"repr-digest", std::string("sha-512=:") + kEmpty512 + ":",
       "sha512:"
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d"
       "2877eec2f63b931bd47417a81a538327af927da3e"},
      {"digest", std::string("MD5=XrY7u+Ae7tCTyyK7j1rNww==, SHA-256=") + kHello256,
       std::string("sha256:") + kHello256Hex},
      {"repr-digest", std::string("sha-256=") + kHello256, ""},  // no byte sequence
      {"digest", "SHA-256=short", ""},
      {"digest", "MD5=XrY7u+Ae7tCTyyK7j1rNww==", ""},                      // too weak to count
      {"content-digest", std::string("sha-256=:") + kHello256 + ":", ""},  // of this body only
  };
  for (const Case& c : cases) {
    const std::optional<Checksum> digest = WholeFileDigest(c.name, c.value);
    EXPECT_EQ(digest ? ChecksumText(*digest) : "", c.digest) << c.name << ": " << c.value;
  }
}

}  // namespace
}  // namespace pellmarsh
