// SBF reading on arbitrary input: block lengths of any size.

#include "fuzz_flash_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return resmill::fuzz::ExtractFlashInput(data, size, "sbf", [](const auto& file, const auto& folder, auto& progress) {
    return resmill::flash::ExtractSbfCodeGroups(file, folder, progress);
  });
}
