#pragma once
// The descriptions of `resmill-cli info`, one per kind of file, each in its own file.

#include <filesystem>
#include <ostream>

namespace resmill::cli {

int InfoFlashFile(const std::filesystem::path& file, std::ostream& out);
int InfoDrmImage(const std::filesystem::path& file, std::ostream& out);
int InfoSkin(const std::filesystem::path& file, std::ostream& out);
int InfoPicture(const std::filesystem::path& file, std::ostream& out);

}  // namespace resmill::cli
