#include "app/program_transfers.h"

#include "transfer/transfer_session.h"

namespace pellmarsh {

SessionFactory::SessionFactory(Item& settings, std::recursive_mutex& treeLock, Clock& clock,
                               EventSink& events, Resolver& resolver, LocalNameRegistry& localNames)
    : settings_(settings),
      treeLock_(treeLock),
      clock_(clock),
      events_(events),
      resolver_(resolver),
      localNames_(localNames) {}

std::unique_ptr<Transfer> SessionFactory::Create(Item& item) {
  return std::make_unique<TransferSession>(
      item, TransferContext{settings_, treeLock_, clock_, events_, resolver_, localNames_,
                            transferBuffer_.data(), transferBuffer_.size() - 1});
}

}  // namespace pellmarsh
