#pragma once

namespace pellmarsh {

// Whether NetworkManager answers on the system bus, which hanging up needs.
bool NetworkManagerAnswers();

}  // namespace pellmarsh
