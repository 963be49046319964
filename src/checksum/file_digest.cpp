#include "checksum/file_digest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/unique_fd.h"

namespace pellmarsh {
namespace {

// Large enough that the system call costs nothing beside the hashing.
constexpr size_t kReadSize = size_t{1} << 20;

const EVP_MD* DigestOf(DigestKind kind) {
  switch (kind) {
    case DigestKind::kMd5:
      return EVP_md5();
    case DigestKind::kSha1:
      return EVP_sha1();
    case DigestKind::kSha256:
      return EVP_sha256();
    case DigestKind::kSha512:
      return EVP_sha512();
  }
  return nullptr;
}

std::string Hex(const unsigned char* bytes, unsigned int size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (unsigned int i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xf];
  }
  return hex;
}

}  // namespace

std::optional<std::string> DigestOfFile(const std::string& path, DigestKind kind,
                                        DigestProgress& progress, std::string& error,
                                        const std::function<void()>& onRead) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) {
    error = "Couldn't open " + path + " to check it: " + std::strerror(errno);
    return std::nullopt;
  }
  ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), DigestOf(kind), nullptr) != 1) {
    error = "Couldn't start the " + std::string(DigestName(kind)) + " digest.";
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(kReadSize);
  for (;;) {
    if (progress.cancel.load()) {
      error.clear();
      return std::nullopt;
    }
    const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      error = "Couldn't read " + path + " to check it: " + std::strerror(errno);
      return std::nullopt;
    }
    if (got == 0) {
      break;
    }
    EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got));
    progress.hashed += got;
    if (onRead) {
      onRead();
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context.get(), digest, &size);
  return Hex(digest, size);
}

}  // namespace pellmarsh
