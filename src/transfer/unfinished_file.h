#pragma once

#include <string>

#include "store/item.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// Where a download writes until it is whole: its final name with ".part";
// a device named as the save file itself.
std::string UnfinishedFileOf(const Item& item);

// The file of an item that a person deletes or sees: the final one once the
// download is complete; before, the unfinished one, or the final one for an
// item of an older data file whose bytes stand there.
std::string ItemFileOf(const Item& item);

// Moves the bytes under an item's final name to its unfinished name, unless
// one is there: the unfinished download of an older data file, or a finished
// file the user chose to resume.
void MoveBytesAside(const Item& item);

// After loading: each unfinished download of "_filelist" that resumes goes on
// from its unfinished file.
void MoveOlderDownloadsAside(Item& root);

// The download goes on from `url`. The bytes it holds stay when the new
// address serves the same file, which its first answer shows (the total size,
// and the validator where both have one); until then "refreshedtotal" holds
// the total they belong to.
void TakeNewAddress(Item& item, const std::string& url);

// The user chose to start over, after a new address served another file or
// the bytes did not match their checksum: the bytes and what was known of
// them go.
void ForgetHeldBytes(Item& item);

// The whole file goes under its final name, never over a file that is there:
// a name taken meanwhile gets the "(n)" of the registry, and the item follows
// it. The error to fail the download with, or nothing; `log` gets what
// changed.
std::string PutFileInPlace(Item& item, LocalNameRegistry& names, std::string& log);

}  // namespace pellmarsh
