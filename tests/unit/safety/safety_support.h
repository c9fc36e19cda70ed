// Shared by the tests that feed the whole cleaning run registries a hostile
// user could have written: run it on a fresh machine and read back the sweep.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/memory/machine.h"
#include "run/cleaning_run.h"

namespace safety {

// Like a real machine, it has a Services key, so the service key phase
// reports each of the product's keys as not found.
inline void FreshMachine() {
  memory::ResetMachine();
  memory::ResetSession();
  memory::ResetServiceManager();
  memory::LoadReg(u"[HKLM\\System\\CurrentControlSet\\Services]\n");
}

// The sweep's reports: everything the run printed after the last service key
// report. On a machine without the product's service keys that report is
// always brunko's, with the not-found code.
inline std::u16string SweepOutput() {
  std::u16string output = memory::Output();
  const std::u16string lastServiceKey = u"[brunko]: NOT DELETED, ERR = 0x2\n\n";
  auto at = output.find(lastServiceKey);
  if (at == std::u16string::npos) {
    ADD_FAILURE() << "no service key report in: " << memory::Narrow(output);
    return output;
  }
  return output.substr(at + lastServiceKey.size());
}

// Runs the whole cleaner once and returns its sweep reports.
inline std::u16string RunSweep() {
  memory::ClearOutput();
  run::CleaningRun();
  EXPECT_EQ(memory::OpenKeyCount(), 0u) << "a registry handle was left open";
  return SweepOutput();
}

// Every root's keys and values, for before/after comparisons. HKEY_LOCAL_MACHINE
// holds the classes and configuration roots, HKEY_USERS the current user.
inline std::u16string WholeRegistry() { return memory::DumpReg(u"HKLM") + memory::DumpReg(u"HKU"); }

}  // namespace safety
