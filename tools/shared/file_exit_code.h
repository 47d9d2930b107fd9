#pragma once
// The exit code of a field, state or scenario file that failed, for both
// programs: one that cannot be read, one that cannot be written, or one
// whose description is malformed.

#include "shared/exit_codes.h"
#include "sim/field_file.h"

namespace vqshared {

inline int ExitCodeOf(const vqsim::FieldFileError& error) {
  switch (error.FileKind()) {
    case vqsim::FieldFileError::Kind::kUnreadable: return kExitNoInput;
    case vqsim::FieldFileError::Kind::kUnwritable: return kExitCannotWrite;
    case vqsim::FieldFileError::Kind::kMalformed: break;
  }
  return kExitBadFile;
}

}  // namespace vqshared
