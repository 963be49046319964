#include "platform/environment.h"

#include <cstdlib>

namespace pellmarsh {

std::optional<std::string> SystemEnvironment::Get(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  if (!value) {
    return std::nullopt;
  }
  return std::string(value);
}

}  // namespace pellmarsh
