#pragma once
// The exit code of a field, state or scenario file that failed, for both
// programs (the table in shared/exit_codes.h): one that cannot be read,
// one that cannot be written, or one whose description is malformed.

#include "shared/exit_codes.h"
#include "sim/files/field_file.h"

namespace vqsim {

inline int ExitCodeOf(const FieldFileError& error) {
  switch (error.FileKind()) {
    case FieldFileError::Kind::kUnreadable: return vqshared::kExitNoInput;
    case FieldFileError::Kind::kUnwritable: return vqshared::kExitCannotWrite;
    case FieldFileError::Kind::kMalformed: break;
  }
  return vqshared::kExitBadFile;
}

}  // namespace vqsim
