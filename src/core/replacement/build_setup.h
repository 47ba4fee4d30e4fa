#pragma once
// Everything the Build Setup dialog decides, without drawing anything: the two
// sorted file lists, pairing with "<=", the Match Size box, the port table, the
// enabled state of each control and where the previews go. The window draws
// these values; resmill-cli and the tests drive the same object without a window.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/graphics/bitmap.h"
#include "replacement/replacement.h"
#include "platform/user_interface.h"

namespace resmill::replacement {

// ---------------------------------------------------------------------------
// The order of both lists

/// Names sort by length first, then byte by byte as unsigned bytes (case-sensitive),
/// so that "9.gif" < "B.gif" < "a.gif" < "10.gif". −1, 0 or 1.
int CompareNames(std::string_view a, std::string_view b);

/// The file names (without folder) of `folder` matching `masks`, in CompareNames order.
/// Plain files only, read-only ones included, hidden ones ("." names) left out.
std::vector<std::string> ListFolderSorted(const std::filesystem::path& folder, std::string_view masks);

/// Lister masks of the two lists.
inline constexpr std::string_view kTargetMask = "*.bmp;*.gif;*.png";
inline constexpr std::string_view kSourceMask = "*.bmp;*.png;*.gif;*.raw;*.k;*.g";

/// The first entry of `table` whose TargetIndex is `targetIndex`: its SourceIndex, and a
/// copy in `entry`; −1 (and `entry` untouched) when there is none.
int FindPairing(const ReplacementTable& table, int targetIndex, TRepItem* entry = nullptr);

// ---------------------------------------------------------------------------
// Geometry of the dialog (client area 560 × 313), for the window that draws it.

using Rect = image::graphics::Rect;

inline constexpr Rect kTargetListRect{152, 40, 105, 185};   ///< ListBox1
inline constexpr Rect kSourceListRect{304, 40, 105, 185};   ///< ListBox2
inline constexpr Rect kTargetPanelRect{8, 40, 129, 145};    ///< Panel1: left preview
inline constexpr Rect kSourcePanelRect{424, 40, 129, 145};  ///< Panel2: right preview
/// Top-left corner of the pairing marker (the platform's warning icon): ListBox1's right edge + 10, top + 10.
inline constexpr int kMarkerLeft = kTargetListRect.left + kTargetListRect.width + 10;  // 267
inline constexpr int kMarkerTop = kTargetListRect.top + 10;                            // 50
/// Colour that erases the marker (red, green, blue).
inline constexpr std::uint8_t kMarkerEraseRgb[3] = {236, 234, 216};

/// Where a picture of w × h goes inside a preview panel.
struct PreviewPlacement {
  Rect blackArea;       ///< (L + 4, T + 4, W − 8, H − 8), filled with opaque black
  bool drawPicture = false;  ///< false when w or h is 0 (nothing more is drawn)
  Rect picture;         ///< the thumbnail's rectangle in dialog coordinates
};

/// The sizing rules of the previews: a picture larger than the area shrinks to fit
/// (both sides larger: the longer side to the shorter of the area's sides; one side
/// larger: that side to the area), with `stretch` any picture is scaled so that its
/// longer side equals the area's shorter side; otherwise it keeps its size. A scaled side
/// is side × new / old rounded to the nearest pixel, a half rounding away from zero; the
/// picture is centred with truncating division.
PreviewPlacement PlacePreview(const Rect& panel, int pictureWidth, int pictureHeight, bool stretch);

/// Pixels of a preview thumbnail: row-major, 0xAARRGGBB, not premultiplied
/// (QImage::Format_ARGB32 takes them as they are).
struct PreviewImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

/// One preview as the window draws it (DrawPreview).
struct Preview {
  bool empty = true;             ///< no path: draw nothing at all
  Rect blackArea;                ///< fill with opaque black first
  bool hasPicture = false;       ///< draw `image` at `picture`
  Rect picture;                  ///< thumbnail rectangle (its size is the image's size)
  PreviewImage image;            ///< the thumbnail
  bool noImage = false;          ///< draw the text "[No image]" instead
  double textX = 0;              ///< origin of "[No image]": L + W / 2 − 30
  double textY = 0;              ///< T + H / 2 − 5
};
inline constexpr std::string_view kNoImageText = "[No image]";
/// Font of "[No image]": white, family "Tahoma", 10 pixels, regular.
inline constexpr std::string_view kNoImageFont = "Tahoma";
inline constexpr int kNoImageFontPixels = 10;

/// Makes the preview of `picture` in `panel`. A device picture (RAW, K, G) is first
/// converted to a temporary "temp.png" in `tempFolder`, which is removed again before
/// this returns. A picture that cannot be read or converted gives "[No image]".
Preview DrawPreview(const Rect& panel, const std::filesystem::path& picture, bool stretch,
                    const std::filesystem::path& tempFolder);

// ---------------------------------------------------------------------------
// The dialog's state and reactions

/// The folders the dialog works on; app/ takes them from the work tree.
struct BuildSetupFolders {
  std::filesystem::path targetIconsFolder;  ///< WorkFolder/binary1/drmpack/icons: the target list
  std::filesystem::path sourceIconsFolder;  ///< WorkFolder/binary2/drmpack/icons: offered when two files were opened
  std::filesystem::path tempFolder;         ///< WorkFolder/binary1/drmpack: temporary preview pictures
  std::filesystem::path startFolder;        ///< where the folder chooser starts while no source folder is chosen
};

/// What the dialog needs to know from the session each time it is shown.
struct BuildSetupStage {
  bool oneFileWork = true;      ///< StageFlags' two low bits are 1
  bool convertRawToBmp = true;  ///< the ConvertRawToBmp setting
};

/// Enabled/checked state of the controls that change, as the window should show them.
struct BuildSetupControls {
  bool pairEnabled = false;          ///< Button3 "<="
  bool resetEnabled = false;         ///< Button6 "Reset"
  bool matchSizeEnabled = false;     ///< CheckBox1 "Match Size"
  bool matchSizeChecked = false;
  bool portTableEnabled = false;     ///< CheckBox2 "Apply port table"
  bool portTableChecked = false;
  bool stretchChecked = false;       ///< CheckBox3 "Stretch" (always enabled)
  bool pairingMarkerShown = false;   ///< the warning icon at (kMarkerLeft, kMarkerTop)
  bool operator==(const BuildSetupControls&) const = default;
};

inline constexpr std::string_view kPortTableTitle = "Select icon port table";
inline constexpr std::string_view kPortTableFilter = "Port Tables|*.dpt";

/// The Build Setup dialog without its window. Created once per run; the window
/// forwards every user action to it and redraws from its accessors afterwards.
/// It appends pairings to the ReplacementTable it is given, which the Build command runs.
class BuildSetupModel {
 public:
  /// `table` and `ui` must outlive the model.
  BuildSetupModel(BuildSetupFolders folders, ReplacementTable& table, UserInterface& ui);

  // -- showing ---------------------------------------------------------------
  /// Each time the dialog is shown. Unless a Build has just completed, both lists are
  /// read from their folders again (the source list from sourceIconsFolder for
  /// two-file work, empty otherwise) and the pairings are dropped. "Apply port table"
  /// is enabled by the stage in every case. Then Activate() runs.
  void Show(const BuildSetupStage& stage, bool& buildCompleted);
  /// Whenever the dialog becomes active: after a completed Build the pairings are
  /// dropped and `buildCompleted` is cleared. The window then redraws both previews.
  void Activate(bool& buildCompleted);

  // -- lists -------------------------------------------------------------------
  const std::vector<std::string>& TargetItems() const { return targetItems_; }
  const std::vector<std::string>& SourceItems() const { return sourceItems_; }
  /// Selected positions, −1 when the list has no selection.
  int TargetSelection() const { return targetSelection_; }
  int SourceSelection() const { return sourceSelection_; }
  const std::filesystem::path& TargetIconsFolder() const { return folders_.targetIconsFolder; }
  /// Empty while no source folder is in use.
  const std::filesystem::path& SourceFolder() const { return sourceFolder_; }

  // -- user actions --------------------------------------------------------------
  /// Where "Select source folder" starts its folder chooser (no title); a cancel there changes nothing.
  const std::filesystem::path& SourceFolderStart() const;
  /// Takes `folder` as the chosen source folder (what the folder chooser's OK does).
  /// The same folder again keeps the list and selection; existing pairings are kept.
  void SetSourceFolder(const std::filesystem::path& folder);
  /// The user selected a target icon (mouse or keyboard). Out-of-range is ignored.
  void SelectTarget(int index);
  /// The user selected a source picture. Out-of-range is ignored.
  void SelectSource(int index);
  /// "<=": pairs the selected source picture with the selected target icon. False when
  /// a list has no selection, when the two are paired already (nothing is added), or
  /// when the table is full (a message says so).
  bool Pair();
  /// The user changed the Match Size box to `checked` (programmatic changes must not call this).
  void SetMatchSize(bool checked);
  /// The Stretch box; the window redraws both previews.
  void SetStretch(bool checked) { stretch_ = checked; }
  /// "Reset": drops every pairing, re-enables and clears "Apply port table", erases the marker.
  void Reset();
  /// The user clicked "Apply port table" and chose `file` in the file dialog of
  /// kPortTableTitle and kPortTableFilter: ApplyPortTableFile. A cancel (nothing) clears the box.
  void ApplyPortTable(const std::optional<std::filesystem::path>& file);
  /// Replaces the pairings by the entries of the port table `file` and shows "Table applied".
  /// A bad header shows "Invalid port table header" / "Error", keeps the pairings and gives false.
  bool ApplyPortTableFile(const std::filesystem::path& file);

  // -- what the window shows -----------------------------------------------------
  BuildSetupControls Controls() const;
  /// Pictures of the two previews (empty paths draw nothing).
  const std::filesystem::path& TargetPreviewPath() const { return targetPreviewPath_; }
  const std::filesystem::path& SourcePreviewPath() const { return sourcePreviewPath_; }
  /// Left / right preview, ready to draw (uses the Stretch state).
  Preview TargetPreview() const;
  Preview SourcePreview() const;

  bool DefaultMatchSize() const { return defaultMatchSize_; }
  bool MatchSizeEditsDefault() const { return matchSizeEditsDefault_; }
  const ReplacementTable& Table() const { return table_; }

 private:
  void FillTargetList();
  void FillSourceList();
  void UpdatePortTableEnabled();
  void DropPairings();
  std::filesystem::path TargetPathOf(int index) const;
  std::filesystem::path SourcePathOf(int index) const;

  BuildSetupFolders folders_;
  ReplacementTable& table_;
  UserInterface& ui_;
  BuildSetupStage stage_;

  std::filesystem::path sourceFolder_;
  std::vector<std::string> targetItems_;
  std::vector<std::string> sourceItems_;
  int targetSelection_ = -1;
  int sourceSelection_ = -1;
  std::filesystem::path targetPreviewPath_;
  std::filesystem::path sourcePreviewPath_;

  bool defaultMatchSize_ = false;
  bool matchSizeEditsDefault_ = true;
  bool matchSizeChecked_ = false;
  bool sourceInUse_ = false;  // "<=", "Reset", "Match Size" stay enabled once a source folder was used
  bool portTableEnabled_ = false;
  bool portTableChecked_ = false;
  bool stretch_ = false;
  bool markerShown_ = false;
};

}  // namespace resmill::replacement
