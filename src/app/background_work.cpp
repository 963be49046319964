#include "app/background_work.h"

namespace pellmarsh {

BackgroundWork::BackgroundWork(AppState& state, UserMessages& messages, EventSink& events,
                               LocalNameRegistry& localNames, Clock& clock)
    : state_(state),
      clock_(clock),
      sessions_(state.tree, state.saveRequested, clock, events, resolver_, localNames),
      extraction_(state.tree, localNames, clock, state.listDirty, state.saveRequested),
      handOffs_(state, extraction_),
      scheduler_(state, sessions_, handOffs_, events, clock),
      virusChecker_(state.tree, state.virusCheck, state.listDirty, messages, events, clock),
      afterDownload_(state.tree, state.afterDownload, clock),
      threads_(state, scheduler_, virusChecker_, afterDownload_, clock) {
  virusChecker_.TellVerdictsTo(state.afterDownload);
}

BackgroundWork::~BackgroundWork() {
  if (threads_.running()) {
    threads_.Stop([this] { clock_.SleepMs(100); });
  }
  extraction_.Stop();
  // Transfers borrow the receive buffer and the factory's services.
  Tree::Access tree(state_.tree);
  state_.activeTransfers.clear();
}

}  // namespace pellmarsh
