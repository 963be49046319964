#include "app/session_factory.h"

#include <utility>

#include "store/keys.h"
#include "transfer/segments/segmented_transfer.h"
#include "transfer/session/transfer_session.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

bool IsHttp(const Item& item) {
  const std::string url = item.GetProp(key::kValue);
  return url.starts_with("http://") || url.starts_with("https://");
}

}  // namespace

SessionFactory::SessionFactory(Tree& tree, std::atomic<int>& saveRequested, Clock& clock,
                               EventSink& events, Resolver& resolver, LocalNameRegistry& localNames)
    : tree_(tree),
      saveRequested_(saveRequested),
      clock_(clock),
      events_(events),
      resolver_(resolver),
      localNames_(localNames) {}

std::unique_ptr<Transfer> SessionFactory::Create(Item& item) {
  const TransferContext context{tree_.root(),
                                tree_.lock(),
                                clock_,
                                events_,
                                resolver_,
                                localNames_,
                                transferBuffer_.data(),
                                transferBuffer_.size() - 1,
                                &saveRequested_,
                                &environment_,
                                &servers_};
  // A mark a crash left behind must not end a plain session early.
  item.SetProp(key::kRangeProbe, "");
  if (IsHttp(item)) {
    return std::make_unique<SegmentedTransfer>(item, context,
                                               SegmentedTransfer::Suits(item, tree_.root()));
  }
  return std::make_unique<TransferSession>(item, context);
}

std::optional<FullServer> SessionFactory::ServerFull(Item& item) {
  if (!IsHttp(item)) {
    return std::nullopt;
  }
  std::string host = ParseUrlCopy(item.GetProp(key::kValue))->GetProp(key::kHostName);
  const int inUse = servers_.Count(host);
  const int limit = ConnectionsPerServer(tree_.root());
  if (inUse < limit) {
    return std::nullopt;
  }
  servers_.AddWaiting(host);
  return FullServer{std::move(host), inUse, limit};
}

}  // namespace pellmarsh
