#pragma once
// The work tree under WorkFolder: binary1 (the target file) and binary2 (the
// source file), each with drmpack/ and drmpack/icons/. Only app/ knows this
// layout; lower layers get the folders they work on as arguments.

#include <filesystem>

namespace resmill::app {

struct WorkTree {
  std::filesystem::path workFolder;
  std::filesystem::path binary1Folder;
  std::filesystem::path drmPack1Folder;
  std::filesystem::path icons1Folder;
  std::filesystem::path binary2Folder;
  std::filesystem::path drmPack2Folder;
  std::filesystem::path icons2Folder;

  const std::filesystem::path& BinaryFolder(int slot) const { return slot == 2 ? binary2Folder : binary1Folder; }
  const std::filesystem::path& DrmPackFolder(int slot) const { return slot == 2 ? drmPack2Folder : drmPack1Folder; }
};

/// Creates WorkFolder and the six folders under it, one level each, ignoring
/// failures; no separator is doubled when `workFolder` ends in one.
WorkTree CreateWorkFolders(const std::filesystem::path& workFolder);
/// Deletes the plain files of the eight tree folders and removes the folders;
/// read-only files stay, and so do the folders that hold them or anything else.
void CleanUpWorkFolders(const WorkTree& tree);
/// The save path without the last four characters of its file name, followed by ".bin";
/// the result always stays in the save path's folder.
std::filesystem::path DeriveDrmOutputFile(const std::filesystem::path& savePath);

}  // namespace resmill::app
