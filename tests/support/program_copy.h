#pragma once

#include <string>

#include "support/temp_dir.h"

namespace pellmarsh::testing {

// The program copied into dir, which then keeps its data beside it as an
// unpacked copy does, with a data file past the first start that fetches at
// full speed.
void CopyProgramWithFastDataFile(const TempDir& dir, const std::string& program);

// Whether, within 30 s, the copy's download folder holds the file name with
// exactly these bytes.
bool DownloadedBeside(const TempDir& dir, const std::string& name, const std::string& bytes);

}  // namespace pellmarsh::testing
