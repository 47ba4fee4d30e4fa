// Superfile reading on arbitrary input: records of any shape and damage.

#include "fuzz_flash_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return resmill::fuzz::ExtractFlashInput(data, size, "shx", [](const auto& file, const auto& folder, auto& progress) {
    return resmill::flash::ExtractShxCodeGroups(file, folder, progress);
  });
}
