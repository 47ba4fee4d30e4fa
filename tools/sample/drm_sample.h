#pragma once
// Synthetic but realistic DRM images and flash files, drawn by the program:
// the examples in build/examples, the test fixtures, the fuzz corpora and the
// benchmark all come from here. The images are in the canonical form that a
// compile reproduces byte for byte: pictures back to back, RAW data padded to
// 4 and GIF data to 16 with zeros, each table ending where its end pointer
// says, and (unless a recipe asks otherwise) the GIF descriptor inside the
// resource directory.

#include <cstdint>
#include <string>
#include <vector>

namespace resmill::sample {

using Bytes = std::vector<std::uint8_t>;

struct RawPicture {
  int width = 0;   ///< as stored in the RAW table (0 … 255)
  int height = 0;
  Bytes data;      ///< the RAW file's bytes
};

/// An area of a DRM image, for pointers a recipe aims into it.
enum class DrmArea { Image, RawData, RawTable, RawTableEnd, GifData, GifTable, GifTableEnd, ImageEnd };

/// A word of the header pointer table or the resource directory that a recipe
/// sets to point at an area's start plus `offset` (which may be negative or run
/// past the end of the image).
struct ExtraPointer {
  int index = 0;  ///< word number in its table
  DrmArea area = DrmArea::Image;
  std::int64_t offset = 0;
};

/// Where the GIF descriptor (the three words around G) stands.
enum class DescriptorPlace {
  Directory,      ///< entries 1, 4 and 5 of the resource directory (as the phones have it)
  BetweenTables,  ///< variant 1: in the kept bytes between the RAW table and the GIF data
  AfterGifTable,  ///< in the kept bytes after the GIF table
};

struct DrmRecipe {
  int variant = 1;
  /// Word 0 is 0 and the header word stands at offset 8 (else the header word is word 0).
  bool headerAtEight = true;
  /// Variant 1: the check slot points at "_drm" (35 header pointers) or elsewhere (30).
  bool longHeader = true;
  std::uint32_t headerWord = 0x10D0001C;  ///< Base is this with the low byte cleared
  int markerOffset = 464;                 ///< where "_drm" stands; -1 for none
  std::vector<RawPicture> raws;           ///< variant 1 only
  std::vector<Bytes> gifs;                ///< GIF-table pictures (GIF or BMP files)
  /// Extra words of the header pointer table (at 32 + 4 x index) and of the
  /// resource directory; one that would overwrite a word the layout is read
  /// from is refused (std::invalid_argument). RAW areas exist in variant 1 only.
  std::vector<ExtraPointer> headerPointers;
  std::vector<ExtraPointer> directoryPointers;
  DescriptorPlace descriptor = DescriptorPlace::Directory;
  /// Where the resource directory stands. It may lie over the header pointer
  /// table, even by halves of words; the words the layout is read from win.
  std::int64_t dirOffset = 0x200;
};

/// Where the builder put things (file offsets), for tests that patch an image.
struct DrmPlacement {
  std::int64_t dir = 0, gifDescriptor = 0, slotS = 0, checkSlot = -1;
  std::int64_t rawData = 0, rawTable = 0, rawTableEnd = 0;
  std::int64_t gifData = 0, gifTable = 0, gifTableEnd = 0;
  int headerPointerCount = 0;
};

Bytes BuildDrmImage(const DrmRecipe& recipe, DrmPlacement* placement = nullptr);

/// A RAW picture (16-bit big-endian pixels and the transparency mask) drawn
/// with a pattern chosen by `seed`; `transparent` clears a border/circle.
RawPicture DrawRaw(int width, int height, int seed, bool transparent);
/// The RAW file bytes for explicit pixels (RGB565) and transparency flags.
Bytes EncodeRaw(int width, int height, const std::vector<std::uint16_t>& pixels, const std::vector<bool>& clear);
/// A GIF drawn by the program: `frames` > 1 makes an animation; `transparent`
/// uses colour 0 as transparent background.
Bytes DrawGif(int width, int height, int frames, bool transparent, int seed);
/// A 24-bit BMP file.
Bytes DrawBmp(int width, int height, int seed);

/// The example DRM: variant 1, a few dozen RAW and GIF-table pictures.
DrmRecipe SampleDrm(int seed = 0);
/// A smaller variant-0 DRM (GIF table only).
DrmRecipe SampleVariant0Drm(int seed = 0);
/// The benchmark's DRM: 3,000 RAW pictures (up to 176x220) and 4,000 GIF-table pictures.
DrmRecipe LargeDrm();
/// One picture of each kind and oddity, small: RAW 1: 4x4 with a transparent border,
/// 2: 5x3 opaque, 3: 0x6 (stored without pixels), 4: 6x6; GIF-table 5: 8x8 GIF,
/// 6: 10x10 GIF of 3 frames, 7: 6x4 BMP, 8: 12x8 GIF.
DrmRecipe MixedSmallDrm(int seed = 0);

/// A flash file around a DRM image: RAMDLD, a code group 2 and code group 15.
struct FlashSpec {
  Bytes ramdld;
  std::uint32_t ramdldAddress = 0x03FD0000;
  std::vector<std::pair<int, Bytes>> codeGroups;  ///< (code group number, data) in header order
  std::vector<std::uint32_t> addresses;           ///< start address of each code group
};
FlashSpec SampleFlash(const Bytes& drmImage, std::uint32_t drmAddress);
/// The 8172-byte flash header with its code-group table.
Bytes FlashHeader(const FlashSpec& flash);
/// An S-record superfile: the header, then per section S0, S3 records of 64 bytes, S7; CR LF lines.
Bytes WrapAsSuperfile(const FlashSpec& flash);
/// An SBF file: the header, then one block per section (9 bytes, length BE, 4 bytes, data, 12 bytes).
Bytes WrapAsSbf(const FlashSpec& flash);

void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace resmill::sample
