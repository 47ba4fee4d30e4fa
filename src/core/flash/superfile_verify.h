#pragma once
// The read-back of a superfile we wrote, before it may take the user's name:
// the file is read as Open reads it and compared with the writer's plan.

#include <filesystem>

#include "flash/superfile_writer.h"

namespace resmill::flash {

/// Reads `written` (the finished temporary file) back and checks, streaming, that
/// it starts with the planned header byte for byte; that the header's code-group
/// table, as Open reads it, names the planned sections at their addresses; and
/// that its text, through the S-record decoder in its strict mode for our own
/// output, is per section S0, S3 records of 64 data bytes (the last 1 … 64) at
/// consecutive addresses from the section's start holding exactly its data, and
/// S7, the last without a line end. A failed check is a program fault
/// (ThrowReadBackFailure) naming `savedAs`, what differs and where.
void VerifySuperfile(const std::filesystem::path& written, const std::filesystem::path& savedAs,
                     const SuperfilePlan& plan);

}  // namespace resmill::flash
