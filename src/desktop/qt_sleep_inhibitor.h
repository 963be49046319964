#pragma once

#include <QString>
#include <memory>

#include "platform/sleep_inhibitor.h"
#include "platform/unique_fd.h"

namespace pellmarsh {

// logind's inhibitor lock on the system bus: a descriptor that holds the
// lock while it stays open.
class QtLogindInhibitor final : public SleepInhibitor {
 public:
  bool Take(const std::string& why) override;
  void Release() override { lock_.Reset(); }

 private:
  UniqueFd lock_;
};

// The desktop portal's inhibition on the session bus, which a sandbox lets
// through: a request whose Close ends it.
class QtPortalInhibitor final : public SleepInhibitor {
 public:
  ~QtPortalInhibitor() override { Release(); }
  bool Take(const std::string& why) override;
  void Release() override;

 private:
  QString request_;
};

// The portal's inside a sandbox, logind's elsewhere.
std::unique_ptr<SleepInhibitor> MakeSleepInhibitor();

}  // namespace pellmarsh
