#pragma once

#include <cstdint>
#include <string>

#include "store/item.h"

namespace pellmarsh {

// The new-host entry's login, anonymous FTP's. That expects an e-mail address
// as the password; this one reaches nobody.
inline constexpr const char* kAnonymousLogin = "anonymous";
inline constexpr const char* kAnonymousPassword = "pellmarsh@example.invalid";
inline constexpr const char* kDefaultHostEntry = "(default for new hosts)";

// The root's own properties, the type list and the "_filelist" and "_filelog"
// folders. What the data file brought stays, except the fixed descriptions.
void SetUpRootAndFolders(Item& root, const std::string& programDir);

// The host defaults (creating the download directory together with the default
// entry), the text-type folders and every setting that has a default.
void SetUpDefaultsAndSettingsWithDownloads(Item& root, const std::string& downloadDir);
// The same with new hosts downloading into "download" beside the program.
void SetUpDefaultsAndSettings(Item& root, const std::string& programDir);

// What a new data file holds beyond the defaults: Go Fast pressed, so the
// first downloads run at full speed until the user releases it. A data file
// from before, even one without the setting, keeps Go Fast as it was.
void SetUpFreshDataFile(Item& root);

// Stores the time in the first-start marker when it is empty; true if it was.
bool MarkFirstStart(Item& root, int64_t now);

}  // namespace pellmarsh
