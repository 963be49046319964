#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace pellmarsh::testing {

// A certificate authority made for one test with the openssl command, and the
// server certificates a TLS test needs, all for "localhost" and 127.0.0.1.
// The program trusts the authority once SSL_CERT_FILE names caFile().
class TestCertificates {
 public:
  struct KeyPair {
    std::string certificate;  // PEM file
    std::string key;          // PEM file
  };

  // Makes every file; on failure the result carries openssl's output.
  ::testing::AssertionResult Make();

  std::string caFile() const { return dir_.File("ca.pem"); }
  // Signed by the authority, valid for a month from now.
  KeyPair valid() const { return Pair("valid"); }
  // Signed by the authority, its validity ended yesterday.
  KeyPair expired() const { return Pair("expired"); }
  // Signed by its own key.
  KeyPair selfSigned() const { return Pair("self-signed"); }

 private:
  KeyPair Pair(const std::string& name) const {
    return {dir_.File(name + ".pem"), dir_.File(name + ".key")};
  }
  ::testing::AssertionResult Run(const std::vector<std::string>& arguments) const;

  TempDir dir_;
};

// A new authority that the program trusts from now on: made and named in
// SSL_CERT_FILE before the process's first TLS connection, which is when
// the program reads it. Empty, with the failure reported, if it could not be made.
std::unique_ptr<TestCertificates> TrustNewTestAuthority();

}  // namespace pellmarsh::testing
