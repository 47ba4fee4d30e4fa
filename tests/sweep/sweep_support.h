#pragma once
// The damaged-input sweep: every kind of file the program reads is cut short
// and has bytes of its headers and tables changed, and the path that reads it
// must end with a resmill::Error or a correct result. A crash or sanitizer
// report ends the program; a hang is caught by the test's time limit.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "test_support.h"

namespace resmill::test::sweep {

using Bytes = std::vector<std::uint8_t>;

/// Lengths to cut a file of `size` bytes to: every length below 64 (headers
/// are read first) and `spread` more over the rest of the file.
std::vector<std::size_t> CutPoints(std::size_t size, int spread = 40);

/// One change of the bytes at an offset.
struct Damage {
  std::size_t offset = 0;
  enum class Kind { InvertByte, WordOnes, WordZero, WordHuge } kind = Kind::InvertByte;
  std::string Describe() const;
};
/// The changes worth making to a 32-bit field at each of `offsets`.
std::vector<Damage> FieldDamage(const std::vector<std::size_t>& offsets);
/// `bytes` with `damage` applied (a change past the end is clipped).
Bytes Apply(Bytes bytes, const Damage& damage);
Bytes Cut(const Bytes& bytes, std::size_t length);

/// Relative paths (generic, "/") of every file below `root`.
std::set<std::string> Snapshot(const std::filesystem::path& root);
/// Files that appeared below `root` since `before` and lie outside every one of `allowed`
/// (relative paths; an entry ending in "/" allows a folder, else one file).
std::vector<std::string> Strays(const std::filesystem::path& root, const std::set<std::string>& before,
                                const std::vector<std::string>& allowed);

/// How one attempt ended.
struct Outcome {
  bool ok = false;
  std::string error;  ///< the resmill::Error's text when !ok
};
/// Runs `work`; a resmill::Error is an outcome, any other exception fails the test
/// with `what` (the case) in the message.
Outcome Attempt(const std::string& what, const std::function<void()>& work);

}  // namespace resmill::test::sweep
