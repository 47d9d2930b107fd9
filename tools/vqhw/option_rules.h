#pragma once
// The global options that cannot apply to what the command line asks for,
// refused with a reason instead of being ignored: two readers named at
// once, a virtual reader's setting without the virtual reader, the reader
// options of a command that uses none or its own.

#include <CLI/CLI.hpp>

#include <string>

#include "vqhw/commands.h"

namespace vqtool {

// Why the given global options cannot go with the command `name` of that
// reach (help has none); empty when they can.
std::string RefusedOptions(const CLI::App& app, const std::string& name, Reach reach);

}  // namespace vqtool
