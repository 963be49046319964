#pragma once

#include <QIcon>

namespace pellmarsh {

// The list's row image by its index (see list_rows.h), painted for 1x and 2x
// screens so it stays sharp at either scale.
const QIcon& RowIcon(int image);

}  // namespace pellmarsh
