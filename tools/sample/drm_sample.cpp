#include "drm_sample.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace resmill::sample {

namespace {

void PutBE(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4, 0);
  b[at] = static_cast<std::uint8_t>(v >> 24);
  b[at + 1] = static_cast<std::uint8_t>(v >> 16);
  b[at + 2] = static_cast<std::uint8_t>(v >> 8);
  b[at + 3] = static_cast<std::uint8_t>(v);
}

void PutLE(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4, 0);
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutText(Bytes& b, std::size_t at, const std::string& text) {
  if (b.size() < at + text.size()) b.resize(at + text.size(), 0);
  std::memcpy(&b[at], text.data(), text.size());
}

void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

std::uint16_t Rgb565(int r, int g, int b) {
  return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

}  // namespace

Bytes EncodeRaw(int width, int height, const std::vector<std::uint16_t>& pixels, const std::vector<bool>& clear) {
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::size_t maskLength = (count + 7) / 8;
  if (maskLength % 2 != 0) ++maskLength;
  Bytes data(2 * count + maskLength, 0);
  for (std::size_t i = 0; i < count; ++i) {
    data[2 * i] = static_cast<std::uint8_t>(pixels[i] >> 8);
    data[2 * i + 1] = static_cast<std::uint8_t>(pixels[i]);
    if (clear[i]) data[2 * count + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  return data;
}

RawPicture DrawRaw(int width, int height, int seed, bool transparent) {
  std::vector<std::uint16_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::vector<bool> clear(pixels.size(), false);
  const int cx = width / 2, cy = height / 2;
  const int radius = std::min(width, height) / 2;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
      int dx = x - cx, dy = y - cy;
      bool inside = dx * dx + dy * dy <= radius * radius;
      if (transparent && !inside) {
        clear[i] = true;  // transparent pixels carry black, as the phone's own pictures do
        continue;
      }
      int r = (x * 255 / std::max(width - 1, 1) + seed * 37) % 256;
      int g = (y * 255 / std::max(height - 1, 1) + seed * 91) % 256;
      int b = inside ? (seed * 53) % 256 : 255 - r;
      if (((x / 4) + (y / 4) + seed) % 7 == 0) r = g = b = 255;
      pixels[i] = Rgb565(r, g, b);
    }
  }
  return {width, height, EncodeRaw(width, height, pixels, clear)};
}

namespace {
int WriteToBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}
}  // namespace

Bytes DrawGif(int width, int height, int frames, bool transparent, int seed) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToBytes, &error);
  if (gif == nullptr) throw std::runtime_error("giflib: cannot start a GIF");
  GifColorType colours[16];
  for (int i = 0; i < 16; ++i) {
    colours[i].Red = static_cast<GifByteType>((i * 16 + seed * 29) % 256);
    colours[i].Green = static_cast<GifByteType>((255 - i * 16 + seed * 71) % 256);
    colours[i].Blue = static_cast<GifByteType>((i * 48 + seed * 13) % 256);
  }
  colours[0] = {255, 255, 255};
  ColorMapObject* map = GifMakeMapObject(16, colours);
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
  if (ok && frames > 1) {
    static const char kApp[] = "NETSCAPE2.0";
    static const GifByteType kLoop[] = {1, 0, 0};
    ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, kApp) == GIF_OK && EGifPutExtensionBlock(gif, 3, kLoop) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  std::vector<GifPixelType> row(static_cast<std::size_t>(width));
  for (int f = 0; ok && f < frames; ++f) {
    if (frames > 1 || transparent) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = DISPOSE_BACKGROUND;
      gcb.UserInputFlag = false;
      gcb.DelayTime = frames > 1 ? 20 : 0;
      gcb.TransparentColor = transparent ? 0 : NO_TRANSPARENT_COLOR;
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int dx = 2 * x - width + 1, dy = 2 * y - height + 1;
        int ring = (dx * dx + dy * dy) * 4 / (width * width + 1);
        bool background = transparent && ring >= 3;
        row[static_cast<std::size_t>(x)] =
            background ? 0 : static_cast<GifPixelType>(1 + (ring + x / 3 + f + seed) % 15);
      }
      ok = EGifPutLine(gif, row.data(), width) == GIF_OK;
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  if (!ok) throw std::runtime_error("giflib: cannot write the GIF");
  return out;
}

Bytes DrawBmp(int width, int height, int seed) {
  const int stride = (width * 3 + 3) / 4 * 4;
  const std::uint32_t pixelBytes = static_cast<std::uint32_t>(stride * height);
  Bytes b(54 + pixelBytes, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLE(b, 2, 54 + pixelBytes);
  PutLE(b, 10, 54);
  PutLE(b, 14, 40);
  PutLE(b, 18, static_cast<std::uint32_t>(width));
  PutLE(b, 22, static_cast<std::uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  PutLE(b, 34, pixelBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::size_t at = 54 + static_cast<std::size_t>((height - 1 - y) * stride + x * 3);
      b[at] = static_cast<std::uint8_t>((x * 12 + seed * 40) % 256);
      b[at + 1] = static_cast<std::uint8_t>((y * 12 + seed * 10) % 256);
      b[at + 2] = static_cast<std::uint8_t>(((x ^ y) * 16) % 256);
    }
  }
  return b;
}

Bytes BuildDrmImage(const DrmRecipe& recipe, DrmPlacement* placementOut) {
  const bool v1 = recipe.variant == 1;
  const std::uint32_t base = recipe.headerWord & ~std::uint32_t{0xFF};
  auto ptr = [base](std::int64_t offset) { return base + static_cast<std::uint32_t>(offset); };
  DrmPlacement p;
  Bytes img(0x400, 0);

  if (recipe.headerAtEight) {
    PutBE(img, 0, 0);
    PutBE(img, 8, recipe.headerWord);
  } else {
    PutBE(img, 0, recipe.headerWord);
    PutBE(img, 8, 0x00020001);
  }
  PutBE(img, 4, 0x00000100);
  if (recipe.markerOffset >= 0) PutText(img, static_cast<std::size_t>(recipe.markerOffset), "_drmSAMPLE-DRM");
  PutText(img, 0x240, "RESMILL SAMPLE RESOURCES: strings, fonts and tones live here.");
  PutText(img, 0x300, "Synthetic DRM drawn by resmill-make-samples.");

  if (v1) {
    p.checkSlot = recipe.headerAtEight ? 36 : 28;
    p.slotS = recipe.headerAtEight ? (recipe.longHeader ? 52 : 44) : 44;
    p.headerPointerCount = recipe.longHeader ? 35 : 30;
  } else {
    p.slotS = recipe.headerAtEight ? 56 : 44;
  }
  p.dir = recipe.dirOffset;

  // RAW data, padded to 4, then the RAW table.
  std::int64_t middle = 0x400;
  if (v1) {
    p.rawData = 0x400;
    std::vector<std::uint32_t> starts;
    for (const RawPicture& raw : recipe.raws) {
      starts.push_back(static_cast<std::uint32_t>(img.size() - static_cast<std::size_t>(p.rawData)));
      Append(img, raw.data);
    }
    const std::uint32_t rawTotal = static_cast<std::uint32_t>(img.size() - static_cast<std::size_t>(p.rawData));
    while ((img.size() - static_cast<std::size_t>(p.rawData)) % 4 != 0) img.push_back(0);
    p.rawTable = static_cast<std::int64_t>(img.size());
    const std::size_t count = recipe.raws.size();
    Bytes table((count + 2) * 16, 0);
    PutText(table, 0, "RAWT");
    PutBE(table, 4, static_cast<std::uint32_t>(count));
    for (std::size_t i = 1; i <= count; ++i) {
      std::size_t e = i * 16;
      table[e] = 0x01;
      table[e + 1] = static_cast<std::uint8_t>(recipe.raws[i - 1].width);
      table[e + 2] = 0x10;
      table[e + 3] = static_cast<std::uint8_t>(recipe.raws[i - 1].height);
      PutBE(table, e + 4, 0x1000 + static_cast<std::uint32_t>(i));
      PutBE(table, e + 12, starts[i - 1] / 2);
    }
    table[(count + 1) * 16] = 0xFF;
    PutBE(table, (count + 1) * 16 + 12, rawTotal / 2);
    Append(img, table);
    p.rawTableEnd = static_cast<std::int64_t>(img.size());
    middle = p.rawTableEnd;
    Bytes strings(64, 0);
    PutText(strings, 0, "Between the tables: menu texts of the sample phone.");
    Append(img, strings);
  } else if (recipe.descriptor == DescriptorPlace::BetweenTables) {
    throw std::invalid_argument("a variant-0 DRM has no RAW table to put the GIF descriptor after");
  }

  // GIF data, padded to 16, then the GIF table.
  p.gifData = static_cast<std::int64_t>(img.size());
  std::vector<std::uint32_t> offsets = {0};
  for (const Bytes& gif : recipe.gifs) {
    offsets.push_back(static_cast<std::uint32_t>(img.size() - static_cast<std::size_t>(p.gifData)));
    Append(img, gif);
  }
  const std::uint32_t gifTotal = static_cast<std::uint32_t>(img.size() - static_cast<std::size_t>(p.gifData));
  offsets.push_back(gifTotal);
  while ((img.size() - static_cast<std::size_t>(p.gifData)) % 16 != 0) img.push_back(0);
  p.gifTable = static_cast<std::int64_t>(img.size());
  for (std::uint32_t offset : offsets) PutBE(img, img.size(), offset);
  p.gifTableEnd = static_cast<std::int64_t>(img.size());
  const std::int64_t trailer = p.gifTableEnd;
  Bytes tones(recipe.descriptor == DescriptorPlace::AfterGifTable ? 64 : 48, 0);
  PutText(tones, 0, "Trailer: ring tones of the sample phone.");
  Append(img, tones);
  p.gifDescriptor = recipe.descriptor == DescriptorPlace::AfterGifTable   ? trailer + 48
                    : recipe.descriptor == DescriptorPlace::BetweenTables ? middle + 48
                                                                          : p.dir + 16;

  // The words the layout is read from, with their values. Written last, so
  // that a directory or pointer table laid over them cannot change them.
  // Without a marker a long variant-1 header still needs a "_drm" for its check pointer: one off the marker positions.
  const std::int64_t marker = recipe.markerOffset >= 0 ? recipe.markerOffset : 0x2F0;
  if (recipe.markerOffset < 0 && v1 && recipe.longHeader) PutText(img, static_cast<std::size_t>(marker), "_drm");
  std::vector<std::pair<std::int64_t, std::uint32_t>> layoutWords = {
      {p.slotS - 4, ptr(p.dir)},
      {p.slotS, ptr(p.gifDescriptor)},
      {p.gifDescriptor - 12, ptr(p.gifTableEnd)},
      {p.gifDescriptor, ptr(p.gifData)},
      {p.gifDescriptor + 4, ptr(p.gifTable)},
  };
  if (v1) {
    layoutWords.push_back({p.checkSlot, recipe.longHeader ? ptr(marker) : ptr(0x240)});
    layoutWords.push_back({p.slotS + 4, ptr(p.rawTableEnd)});
    layoutWords.push_back({p.dir + 48, ptr(p.rawTable)});
    layoutWords.push_back({p.dir + 52, ptr(p.rawData)});
  }
  // Bytes nothing may be laid over: the header word and the marker.
  std::vector<std::pair<std::int64_t, std::int64_t>> fixed = {{recipe.headerAtEight ? 8 : 0, 4}};
  if (recipe.markerOffset >= 0 || (v1 && recipe.longHeader)) fixed.push_back({marker, 4});
  auto overlaps = [](std::int64_t a, std::int64_t aLength, std::int64_t b, std::int64_t bLength) {
    return a < b + bLength && b < a + aLength;
  };
  auto isLayoutWord = [&](std::int64_t at) {
    for (const auto& [word, value] : layoutWords) {
      if (overlaps(at, 4, word, 4)) return true;
    }
    return false;
  };
  for (const auto& [at, length] : fixed) {
    if (overlaps(p.dir, 64, at, length)) throw std::invalid_argument("the resource directory covers the DRM header");
  }
  if (p.dir < 12 || p.dir + 64 > (v1 ? p.rawData : p.gifData)) {
    throw std::invalid_argument("the resource directory must lie between the header and the pictures");
  }

  // Resource directory: entries 1, 4 and 5 are the GIF descriptor unless it stands elsewhere.
  std::uint32_t dir[16] = {
      ptr(marker),          ptr(p.gifTableEnd),    ptr(v1 ? middle + 8 : 0x240), ptr(trailer + 4),
      ptr(p.gifData),       ptr(p.gifTable),       ptr(0x300),                   ptr(trailer),
      ptr(p.gifData),       ptr(p.gifTable + 4),   0,                            ptr(0x248),
      v1 ? ptr(p.rawTable) : ptr(trailer + 8),     v1 ? ptr(p.rawData) : ptr(0x250),
      v1 ? ptr(p.rawTable + 16) : 0,               v1 ? ptr(middle) : 0};
  for (int k = 0; k < 16; ++k) PutBE(img, static_cast<std::size_t>(p.dir + 4 * k), dir[k]);

  // Header pointers: some before the pictures, some between the tables, some
  // empty; a directory laid over the table keeps its own words.
  if (v1) {
    for (int k = 0; k < p.headerPointerCount; ++k) {
      const std::int64_t at = 32 + 4 * k;
      if (overlaps(at, 4, p.dir, 64)) continue;
      std::uint32_t v = k % 3 == 0 ? ptr(0x300 + 4 * k) : k % 3 == 1 ? ptr(middle + 4 * (k % 16)) : 0;
      PutBE(img, static_cast<std::size_t>(at), v);
    }
  } else {
    for (int k = 0; k < 8; ++k) {
      if (!overlaps(12 + 4 * k, 4, p.dir, 64)) PutBE(img, static_cast<std::size_t>(12 + 4 * k), k % 2 ? ptr(0x300) : 0);
    }
  }

  // The recipe's own pointers, never over a word the layout is read from.
  auto aim = [&](const ExtraPointer& extra) {
    // In the order of DrmArea.
    const std::int64_t starts[] = {0,          p.rawData,  p.rawTable,    p.rawTableEnd,
                                   p.gifData,  p.gifTable, p.gifTableEnd, static_cast<std::int64_t>(img.size())};
    const std::int64_t start = starts[static_cast<std::size_t>(extra.area)];
    const bool rawArea =
        extra.area == DrmArea::RawData || extra.area == DrmArea::RawTable || extra.area == DrmArea::RawTableEnd;
    if (rawArea && !v1) throw std::invalid_argument("a variant-0 DRM has no RAW areas");
    return ptr(start + extra.offset);
  };
  auto place = [&](std::int64_t at, const ExtraPointer& extra) {
    if (isLayoutWord(at)) {
      throw std::invalid_argument("an extra pointer at offset " + std::to_string(at) +
                                  " would overwrite a word the layout is read from");
    }
    PutBE(img, static_cast<std::size_t>(at), aim(extra));
  };
  const int headerWords = v1 ? p.headerPointerCount : 8;
  for (const ExtraPointer& extra : recipe.headerPointers) {
    if (extra.index < 0 || extra.index >= headerWords) throw std::invalid_argument("no such header pointer");
    place(32 + 4 * std::int64_t{extra.index}, extra);
  }
  for (const ExtraPointer& extra : recipe.directoryPointers) {
    if (extra.index < 0 || extra.index >= 16) throw std::invalid_argument("no such directory entry");
    place(p.dir + 4 * std::int64_t{extra.index}, extra);
  }

  for (const auto& [at, value] : layoutWords) PutBE(img, static_cast<std::size_t>(at), value);
  for (const auto& [at, value] : layoutWords) {
    const auto* b = &img[static_cast<std::size_t>(at)];
    const std::uint32_t stored =
        (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    if (stored != value) throw std::invalid_argument("two words the layout is read from overlap");
    for (const auto& [fixedAt, length] : fixed) {
      if (overlaps(at, 4, fixedAt, length)) throw std::invalid_argument("a layout word covers the DRM header");
    }
  }
  if (placementOut != nullptr) *placementOut = p;
  return img;
}

DrmRecipe SampleDrm(int seed) {
  DrmRecipe recipe;
  const std::pair<int, int> sizes[] = {{16, 16}, {16, 16},  {24, 24}, {32, 32}, {48, 48},   {176, 20},
                                       {176, 220}, {64, 64}, {20, 18}, {10, 10}, {128, 160}, {12, 12}};
  int i = 0;
  for (auto [w, h] : sizes) {
    recipe.raws.push_back(DrawRaw(w, h, seed + i, i % 3 == 1));
    ++i;
  }
  for (int k = 0; k < 24; ++k) {
    if (k == 7) {
      recipe.gifs.push_back(DrawBmp(20, 20, seed + k));
      continue;
    }
    int side = 16 + 8 * (k % 5);
    int frames = k % 4 == 2 ? 4 : 1;
    recipe.gifs.push_back(DrawGif(side, side, frames, k % 3 == 0, seed + k));
  }
  return recipe;
}

DrmRecipe SampleVariant0Drm(int seed) {
  DrmRecipe recipe;
  recipe.variant = 0;
  recipe.headerAtEight = false;
  recipe.headerWord = 0x10B00040;
  recipe.markerOffset = 468;
  for (int k = 0; k < 10; ++k) {
    if (k == 4) {
      recipe.gifs.push_back(DrawBmp(16, 12, seed + k));
    } else {
      recipe.gifs.push_back(DrawGif(16 + 4 * k, 16, k % 3 == 0 ? 3 : 1, k % 2 == 0, seed + k));
    }
  }
  return recipe;
}

DrmRecipe MixedSmallDrm(int seed) {
  DrmRecipe recipe;
  recipe.raws = {DrawRaw(4, 4, seed + 1, true), DrawRaw(5, 3, seed + 2, false), DrawRaw(0, 6, seed + 3, false),
                 DrawRaw(6, 6, seed + 4, true)};
  recipe.gifs = {DrawGif(8, 8, 1, true, seed + 5), DrawGif(10, 10, 3, false, seed + 6), DrawBmp(6, 4, seed + 7),
                 DrawGif(12, 8, 1, false, seed + 8)};
  return recipe;
}

DrmRecipe LargeDrm() {
  DrmRecipe recipe;
  const std::pair<int, int> sizes[] = {{16, 16}, {24, 24}, {32, 32}, {20, 20}, {48, 48}, {40, 30}, {64, 64}};
  for (int i = 0; i < 3000; ++i) {
    auto [w, h] = i % 50 == 49 ? std::pair{176, 220} : sizes[i % 7];
    recipe.raws.push_back(DrawRaw(w, h, i, i % 4 == 0));
  }
  std::vector<Bytes> distinct;
  for (int k = 0; k < 16; ++k) distinct.push_back(DrawGif(16 + 4 * (k % 6), 16 + 4 * (k % 6), k % 5 == 0 ? 3 : 1,
                                                          k % 2 == 0, k));
  for (int k = 0; k < 4000; ++k) recipe.gifs.push_back(distinct[static_cast<std::size_t>(k) % distinct.size()]);
  return recipe;
}

FlashSpec SampleFlash(const Bytes& drmImage, std::uint32_t drmAddress) {
  FlashSpec flash;
  flash.ramdld.resize(2048);
  for (std::size_t i = 0; i < flash.ramdld.size(); ++i) flash.ramdld[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Bytes code(4096);
  for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>((i * 13) ^ (i >> 8));
  flash.codeGroups = {{2, code}, {15, drmImage}};
  flash.addresses = {0x10040000, drmAddress};
  return flash;
}

Bytes FlashHeader(const FlashSpec& flash) {
  Bytes h(8172, 0);
  PutText(h, 0, "RESMILL SAMPLE FLASH FILE");
  PutText(h, 320, "05-03-2006 14:30:09");
  PutText(h, 448, "Synthetic flash file made by resmill-make-samples");
  PutLE(h, 944, static_cast<std::uint32_t>(flash.codeGroups.size() + 1));
  auto entry = [&h](std::size_t at, std::uint32_t start, const Bytes& data) {
    PutLE(h, at, start);
    PutLE(h, at + 4, start + static_cast<std::uint32_t>(data.size()) - 1);
    std::copy_n(data.begin(), std::min<std::size_t>(16, data.size()), h.begin() + static_cast<long>(at) + 8);
    std::uint32_t sum = 0;
    for (std::uint8_t b : data) sum = (sum + b) & 0xFFFF;
    PutLE(h, at + 24, sum);
  };
  entry(948, flash.ramdldAddress, flash.ramdld);
  for (std::size_t i = 0; i < flash.codeGroups.size(); ++i) {
    entry(1004 + 28 * static_cast<std::size_t>(flash.codeGroups[i].first), flash.addresses[i],
          flash.codeGroups[i].second);
  }
  return h;
}

namespace {
void SRecordSection(Bytes& out, std::uint32_t address, const Bytes& data) {
  static const char kHex[] = "0123456789ABCDEF";
  auto text = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
  text("S00600004844521B\r\n");
  for (std::size_t at = 0; at < data.size(); at += 64) {
    std::size_t n = std::min<std::size_t>(64, data.size() - at);
    std::uint32_t a = address + static_cast<std::uint32_t>(at);
    Bytes record = {static_cast<std::uint8_t>(n + 5), static_cast<std::uint8_t>(a >> 24),
                    static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)};
    record.insert(record.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    unsigned sum = 0;
    for (std::uint8_t b : record) sum += b;
    record.push_back(static_cast<std::uint8_t>(255 - (sum & 0xFF)));
    std::string line = "S3";
    for (std::uint8_t b : record) {
      line += kHex[b >> 4];
      line += kHex[b & 15];
    }
    text(line + "\r\n");
  }
  text("S70500000000FA\r\n");
}

void SbfBlock(Bytes& out, std::uint32_t address, const Bytes& data) {
  Bytes head(17, 0);
  PutText(head, 0, "RMBLOCK\x01");
  PutBE(head, 9, static_cast<std::uint32_t>(data.size()));
  PutBE(head, 13, address);
  Append(out, head);
  Append(out, data);
  Bytes tail(12, 0);
  PutText(tail, 0, "END");
  Append(out, tail);
}
}  // namespace

Bytes WrapAsSuperfile(const FlashSpec& flash) {
  Bytes out = FlashHeader(flash);
  SRecordSection(out, flash.ramdldAddress, flash.ramdld);
  for (std::size_t i = 0; i < flash.codeGroups.size(); ++i) {
    SRecordSection(out, flash.addresses[i], flash.codeGroups[i].second);
  }
  return out;
}

Bytes WrapAsSbf(const FlashSpec& flash) {
  Bytes out = FlashHeader(flash);
  SbfBlock(out, flash.ramdldAddress, flash.ramdld);
  for (std::size_t i = 0; i < flash.codeGroups.size(); ++i) SbfBlock(out, flash.addresses[i], flash.codeGroups[i].second);
  return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace resmill::sample
