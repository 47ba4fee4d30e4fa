#pragma once
// The read-back of a superfile we wrote, before it may take the user's name.
// It is stricter than the extraction reader: our own output has exactly one
// shape, so anything else in it is a fault of the writer.

#include <filesystem>

#include "platform/binary_file.h"

namespace resmill::flash {

/// Reads `written` (the finished temporary file) back and checks, streaming, that:
/// it starts with header.bin byte for byte; its text is S0, the RAMDLD's S3 records,
/// S7, S0, the DRM image's S3 records and a final S7 without a line end; every record
/// is well-formed with a correct checksum, 64 data bytes (the last of a section
/// 1 … 64) at consecutive addresses from the start the header gives; the decoded
/// bytes equal `ramdldFile` and `drmImage`; and the header's code-group table lists
/// exactly RAMDLD and code group 15 with the end address, first 16 bytes and sums
/// of those bytes. A failed check throws resmill::Error (Kind::Internal) naming
/// `savedAs`, what differs and where (line and offset, or header field).
void VerifySuperfile(const std::filesystem::path& written, const std::filesystem::path& savedAs,
                     const std::filesystem::path& headerFile, const std::filesystem::path& ramdldFile,
                     BinaryFile& drmImage);

}  // namespace resmill::flash
