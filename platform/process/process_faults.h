#pragma once
// The test hooks of process.h as the backends consult them.

namespace veltrano::proc {

// True when a test made `terminate` refuse this pid.
bool terminationDenied(int pid);
// True (and counted off) when a test asked the next start to fail.
bool takeFailedStart();

}  // namespace veltrano::proc
