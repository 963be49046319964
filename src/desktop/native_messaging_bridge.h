#pragma once

namespace pellmarsh {

// `pellmarsh --native-messaging`, started by the browser with its pipes on
// standard input and output: each message's links go to the running program
// over the session bus, which is started first when none runs. The exit
// status of the host.
int RunNativeMessagingBridge();

}  // namespace pellmarsh
