#pragma once
// The readers vqhw-sim serves, one a line: a lab's plaza is one command.
// They share nothing but the process: each has its own field, scenario,
// state, faults and log.

#include "sim/program/sim_options.h"

namespace vqsim::program {

// Serves every reader the command line names until a stop is asked for or
// the run ends from inside (a device lost, the replay left); prints the
// name of each one's port, a line each in their order, once every one is
// served. Returns the exit code; throws Failure and FieldFileError.
int ServeReaders(const SimOptions& options);

}  // namespace vqsim::program
