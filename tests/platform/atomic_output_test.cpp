#include "platform/atomic_output.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "test_support.h"

namespace resmill {
namespace {

using test::ListFolder;
using test::ReadText;
using test::TempDir;
using test::WriteText;

TEST(AtomicOutput, CommitReplacesTheTargetWhole) {
  TempDir dir;
  WriteText(dir / "out.shx", "old");
  {
    AtomicOutputFile out(dir / "out.shx");
    out.File().Write(std::string_view("new content"));
    EXPECT_EQ(ReadText(dir / "out.shx"), "old");  // untouched until complete
    out.Commit();
  }
  EXPECT_EQ(ReadText(dir / "out.shx"), "new content");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"out.shx"});
}

TEST(AtomicOutput, AFailureLeavesNoFileAndKeepsTheOldOne) {
  TempDir dir;
  WriteText(dir / "kept.bin", "older file");
  try {
    AtomicOutputFile out(dir / "kept.bin");
    out.File().Write(std::string_view("partial"));
    throw std::runtime_error("writer failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ReadText(dir / "kept.bin"), "older file");
  try {
    AtomicOutputFile out(dir / "fresh.bin");
    out.File().Write(std::string_view("partial"));
    throw std::runtime_error("writer failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"kept.bin"});
}

TEST(AtomicOutput, AFailedVerificationKeepsTheTargetUntouched) {
  TempDir dir;
  WriteText(dir / "t.bin", "good");
  AtomicOutputFile out(dir / "t.bin");
  out.File().Write(std::string_view("bad"));
  out.SetVerifier([](const std::filesystem::path&) { throw Error(Error::Kind::Internal, "read-back differs"); });
  EXPECT_THROW(out.Commit(), Error);
  EXPECT_EQ(ReadText(dir / "t.bin"), "good");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"t.bin"});
}

TEST(AtomicOutput, MissingFolderIsAnIoError) {
  TempDir dir;
  EXPECT_THROW(AtomicOutputFile(dir / "no" / "x.bin"), Error);
}

TEST(AtomicOutput, CopyReplaces) {
  TempDir dir;
  WriteText(dir / "a", std::string(20000, 'a'));
  WriteText(dir / "b", "b");
  CopyFileAtomically(dir / "a", dir / "b");
  EXPECT_EQ(ReadText(dir / "b"), std::string(20000, 'a'));
  EXPECT_THROW(CopyFileAtomically(dir / "missing", dir / "b"), Error);
  EXPECT_EQ(ReadText(dir / "b"), std::string(20000, 'a'));
}

}  // namespace
}  // namespace resmill
