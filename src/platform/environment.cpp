#include "platform/environment.h"

#include <cstdlib>

#include "platform/files.h"

namespace pellmarsh {

std::optional<std::string> SystemEnvironment::Get(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  if (!value) {
    return std::nullopt;
  }
  return std::string(value);
}

bool RunsSandboxed(const Environment& environment, const std::string& infoFile) {
  return environment.Get("FLATPAK_ID").has_value() || FileExists(infoFile);
}

}  // namespace pellmarsh
