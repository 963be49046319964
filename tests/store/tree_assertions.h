#pragma once

#include <gtest/gtest.h>

#include "store/item.h"

namespace pellmarsh::testing {

// Same properties on every item and the same children in the same order.
inline ::testing::AssertionResult TreesEqual(const Item& expected, const Item& actual,
                                             const std::string& where = "root") {
  if (expected.AllProps() != actual.AllProps()) {
    return ::testing::AssertionFailure() << "properties differ at " << where;
  }
  if (expected.ChildCount() != actual.ChildCount()) {
    return ::testing::AssertionFailure() << "child count differs at " << where << ": "
                                         << expected.ChildCount() << " vs " << actual.ChildCount();
  }
  for (int index = 0; index < expected.ChildCount(); ++index) {
    if (actual.ChildAt(index)->Parent() != &actual) {
      return ::testing::AssertionFailure() << "wrong parent at " << where << "/" << index;
    }
    auto result = TreesEqual(*expected.ChildAt(index), *actual.ChildAt(index),
                             where + "/" + std::to_string(index));
    if (!result) {
      return result;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace pellmarsh::testing
