#include "support/test_certificates.h"

#include <chrono>
#include <cstdlib>

#include "support/child_process.h"
#include "support/wait.h"

namespace pellmarsh::testing {
namespace {

constexpr char kConfig[] = R"([req]
distinguished_name = name
[name]
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[server]
basicConstraints = CA:FALSE
subjectAltName = DNS:localhost,IP:127.0.0.1
extendedKeyUsage = serverAuth
)";

// P-256 keys: made in a millisecond, unlike RSA ones.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                          "-nodes"};

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

}  // namespace

::testing::AssertionResult TestCertificates::Run(const std::vector<std::string>& arguments) const {
  const std::string output = dir_.File("openssl.out");
  ChildProcess openssl;
  if (!openssl.Start(Joined({"/usr/bin/openssl"}, arguments), output)) {
    return ::testing::AssertionFailure() << openssl.error();
  }
  WaitFor([&] { return !openssl.Running(); }, std::chrono::seconds(30));
  if (openssl.ExitDescription() != "exited with status 0") {
    return ::testing::AssertionFailure() << "openssl " << openssl.ExitDescription() << ":\n"
                                         << ReadFile(output);
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestCertificates::Make() {
  const std::string config = dir_.File("openssl.cnf");
  WriteFile(config, kConfig);
  const auto selfSigned = [&](const std::string& name, const std::string& subject,
                              const std::string& extensions) {
    const KeyPair pair = Pair(name);
    return Run(Joined({"req", "-x509", "-config", config, "-extensions", extensions, "-days", "30",
                       "-subj", subject, "-keyout", pair.key, "-out", pair.certificate},
                      kNewKey));
  };
  const KeyPair authority = Pair("ca");
  const std::string request = dir_.File("server.csr");
  const auto signedFor = [&](const std::string& name, const std::string& days,
                             const std::string& serial) {
    const KeyPair pair = Pair(name);
    if (::testing::AssertionResult made =
            Run(Joined({"req", "-new", "-config", config, "-subj", "/CN=localhost", "-keyout",
                        pair.key, "-out", request},
                       kNewKey));
        !made) {
      return made;
    }
    return Run({"x509", "-req", "-in", request, "-CA", authority.certificate, "-CAkey",
                authority.key, "-set_serial", serial, "-days", days, "-extfile", config,
                "-extensions", "server", "-out", pair.certificate});
  };
  ::testing::AssertionResult made = selfSigned("ca", "/CN=Pellmarsh Test Authority", "authority");
  if (made) {
    made = signedFor("valid", "30", "2");
  }
  if (made) {
    made = signedFor("expired", "-1", "3");
  }
  if (made) {
    made = selfSigned("self-signed", "/CN=localhost", "server");
  }
  return made;
}

std::unique_ptr<TestCertificates> TrustNewTestAuthority() {
  auto certificates = std::make_unique<TestCertificates>();
  if (const ::testing::AssertionResult made = certificates->Make(); !made) {
    ADD_FAILURE() << made.message();
    return nullptr;
  }
  ::setenv("SSL_CERT_FILE", certificates->caFile().c_str(), 1);
  return certificates;
}

}  // namespace pellmarsh::testing
