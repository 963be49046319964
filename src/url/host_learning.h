#pragma once

#include <string>

#include "store/item.h"

namespace pellmarsh {

// After the user saved a URL's properties: gives the URL's host an entry as
// soon as the directory of the save-as path, the login or the password differs
// from the new-host defaults, and from then on the entry follows the latest
// choice for every field that is not simply the default. Entries marked
// "permanent" are never changed. Call with the tree lock held.
void LearnHostDefaults(Item& root, const std::string& urlText, const std::string& saveAsPath,
                       const std::string& login, const std::string& password);

}  // namespace pellmarsh
