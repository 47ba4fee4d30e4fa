#include "app/work_tree.h"

#include "platform/file_system.h"

namespace resmill::app {
namespace fs = std::filesystem;

WorkTree CreateWorkFolders(const fs::path& workFolder) {
  WorkTree tree;
  tree.workFolder = workFolder;
  tree.binary1Folder = JoinTail(workFolder, "binary1");
  tree.drmPack1Folder = JoinTail(workFolder, "binary1/drmpack");
  tree.icons1Folder = JoinTail(workFolder, "binary1/drmpack/icons");
  tree.binary2Folder = JoinTail(workFolder, "binary2");
  tree.drmPack2Folder = JoinTail(workFolder, "binary2/drmpack");
  tree.icons2Folder = JoinTail(workFolder, "binary2/drmpack/icons");
  CreateFolder(tree.workFolder);
  for (const fs::path* folder : {&tree.binary1Folder, &tree.drmPack1Folder, &tree.icons1Folder,
                                 &tree.binary2Folder, &tree.drmPack2Folder, &tree.icons2Folder}) {
    CreateFolder(*folder);
  }
  return tree;
}

void CleanUpWorkFolders(const WorkTree& tree) {
  const fs::path folders[] = {
      tree.icons1Folder, JoinTail(tree.drmPack1Folder, "raws"), tree.drmPack1Folder, tree.binary1Folder,
      tree.icons2Folder, JoinTail(tree.drmPack2Folder, "raws"), tree.drmPack2Folder, tree.binary2Folder,
  };
  for (const fs::path& folder : folders) {
    // Deleting a read-only file fails on the platform the tree comes from; users
    // rely on that to protect a file, so it is kept here too.
    for (const FoundFile& file : FindFiles(folder, "*.*", SearchOptions{.includeHidden = true, .includeReadOnly = false})) {
      DeleteFileQuietly(file.path);
    }
    RemoveFolder(folder);
  }
}

fs::path DeriveDrmOutputFile(const fs::path& savePath) {
  // The last four characters are cut from the file name only: a save name without
  // an extension ("out/ab") would otherwise put the image beside the folder
  // ("out.bin"), outside where the user chose to save, over whatever is there.
  std::string name = savePath.filename().string();
  std::string stem = name.size() <= 4 ? std::string() : name.substr(0, name.size() - 4);
  return savePath.parent_path() / (stem + ".bin");
}

}  // namespace resmill::app
