#include "test_support.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_app.h"
#include "platform/error.h"

namespace resmill::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() / ("resmill-test-" + std::to_string(random()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests make files read-only on purpose; give the owner write access back first.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << file;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const fs::path& file) {
  auto bytes = ReadBytes(file);
  return std::string(bytes.begin(), bytes.end());
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

void WriteText(const fs::path& file, const std::string& text) {
  WriteBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> ListFolder(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int RunCommand(const std::string& command, std::string* output) {
  std::string full = command + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name) { return RunCommand("command -v " + name + " >/dev/null") == 0; }

std::tm FixedTestTime() {
  std::tm t{};
  t.tm_year = 106;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_wday = 0;
  t.tm_hour = 14;
  t.tm_min = 30;
  t.tm_sec = 9;
  return t;
}

CliResult RunCliIn(const fs::path& folder, const std::vector<std::string>& args) {
  std::ostringstream out, err;
  cli::CliEnvironment env{out, err, folder, false, FixedTestTime};
  int status = cli::RunCli(args, env);
  return {status, out.str(), err.str()};
}

fs::path TestDataDir() { return RESMILL_TEST_DATA_DIR; }
fs::path BinaryDir() { return RESMILL_BINARY_DIR; }

void ScriptedUi::ShowMessage(std::string_view text, std::string_view caption, MessageOwner owner) {
  messages.push_back({std::string(text), std::string(caption), owner});
}

bool ScriptedUi::Confirm(std::string_view text, std::string_view caption, MessageOwner owner) {
  ++confirmations;
  messages.push_back({std::string(text), std::string(caption), owner});
  if (confirmAnswers.empty()) return true;
  bool answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

std::optional<IconSize> ScriptedUi::AskIconSize(std::string_view, IconSize) { return iconSizeAnswer; }

void ExpectReadBackRefusal(const std::function<void()>& save, std::string_view message, std::string_view file,
                           std::string_view saved) {
  using ::testing::HasSubstr;
  try {
    save();
    ADD_FAILURE() << saved;
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::Internal);
    EXPECT_THAT(e.what(), HasSubstr(std::string(message)));
    EXPECT_THAT(e.what(), HasSubstr(std::string(file)));
    EXPECT_THAT(e.what(), HasSubstr("please report it"));
  }
}

}  // namespace resmill::test
