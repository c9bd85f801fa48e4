// Shared helpers of the host tests: a fixture with a fresh simulated machine that checks, at
// the end of every test, that no global or local block and no handle was left behind.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "winsim/machine.h"
#include "winsim/text.h"

using winsim::Utf8;
using winsim::Widen;

class MachineTest : public ::testing::Test {
 protected:
  // Checked in the destructor, after the derived fixture's members (an InstallState, say)
  // have released what they own.
  ~MachineTest() override {
    EXPECT_EQ(machine_->OutstandingGlobalBlocks(), 0u) << "global blocks leaked";
    EXPECT_EQ(machine_->OutstandingLocalBlocks(), 0u) << "local blocks leaked";
    EXPECT_EQ(machine_->OpenHandleCount(), 0u) << "open handles:\n"
                                               << machine_->DescribeOpenHandles();
  }

  winsim::Machine& machine() { return *machine_; }
  // A fresh machine in place of the current one, for tests that make many runs from scratch;
  // the caller checks the old one first.
  void ReplaceMachine() {
    machine_.reset();
    machine_ = std::make_unique<winsim::Machine>();
  }

 private:
  std::unique_ptr<winsim::Machine> machine_ = std::make_unique<winsim::Machine>();
};

// Splits CR LF separated text into lines for whole-block comparisons.
std::string JoinLines(std::initializer_list<const char*> lines);
