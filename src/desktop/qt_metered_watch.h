#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

#include "platform/metered_watch.h"

namespace pellmarsh {

// NetworkManager's "Metered" on the system bus: read once, then followed
// through its PropertiesChanged signal. Never waits for the bus.
class QtMeteredWatch final : public QObject, public MeteredWatch {
  Q_OBJECT

 public:
  void Start(std::function<void(bool metered)> changed) override;

 private Q_SLOTS:
  void OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

 private:
  void AskMetered();

  std::function<void(bool)> changed_;
};

}  // namespace pellmarsh
