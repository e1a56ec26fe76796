#pragma once

#include <gtest/gtest.h>

#include "app/session.h"

namespace scribeline {

// A session that ends before its tools are ready leaves their preparations
// running; a test program that includes this waits for them before it ends
// (ending under them would pull static objects from under their threads).
class AwaitPreparationsAtEnd : public testing::Environment {
 public:
  void TearDown() override { awaitPreparations(); }
};
inline testing::Environment* const awaitPreparationsAtEnd =
    testing::AddGlobalTestEnvironment(new AwaitPreparationsAtEnd);

}  // namespace scribeline
