#pragma once

#include <optional>
#include <string>

namespace pellmarsh {

// The process's environment variables, behind an interface so tests can give
// their own instead of the machine's.
class Environment {
 public:
  virtual ~Environment() = default;
  // The variable's value, also when it is set but empty; nothing when unset.
  virtual std::optional<std::string> Get(const std::string& name) const = 0;
};

class SystemEnvironment final : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) const override;
};

// Whether the program runs in a Flatpak sandbox, which reaches the system's
// services only through the desktop portal: FLATPAK_ID is set, or the
// sandbox's info file exists.
bool RunsSandboxed(const Environment& environment, const std::string& infoFile = "/.flatpak-info");

}  // namespace pellmarsh
