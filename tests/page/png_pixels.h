// Just enough PNG decoding to look at a browser's screenshot: 8-bit RGB or RGBA,
// not interlaced, every row filter.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace ftir::testing {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // 3 bytes a pixel, row by row; empty when not decoded
};

inline RgbImage decode_png(const std::string& file) {
  RgbImage image;
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 3]));
  };
  if (file.size() < 8 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return image;
  std::string idat;
  int channels = 0;
  for (std::size_t at = 8; at + 8 <= file.size();) {
    const std::uint32_t length = u32(at);
    const std::string type = file.substr(at + 4, 4);
    if (at + 12 + length > file.size()) return image;
    if (type == "IHDR") {
      image.width = static_cast<int>(u32(at + 8));
      image.height = static_cast<int>(u32(at + 12));
      const int depth = file[at + 16];
      const int colour = file[at + 17];
      const int interlace = file[at + 20];
      if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return image;
      channels = colour == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      idat.append(file, at + 8, length);
    }
    at += 12 + length;
  }
  if (channels == 0 || image.width <= 0 || image.height <= 0) return image;
  const std::size_t stride = static_cast<std::size_t>(image.width) * channels;
  std::vector<std::uint8_t> raw((stride + 1) * static_cast<std::size_t>(image.height));
  uLongf raw_size = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(idat.data()),
                 static_cast<uLong>(idat.size())) != Z_OK ||
      raw_size != raw.size()) {
    return image;
  }
  std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(image.height));
  for (std::size_t row = 0; row < static_cast<std::size_t>(image.height); ++row) {
    const std::uint8_t filter = raw[row * (stride + 1)];
    const std::uint8_t* in = &raw[row * (stride + 1) + 1];
    std::uint8_t* out = &pixels[row * stride];
    const std::uint8_t* up = row > 0 ? out - stride : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<std::size_t>(channels) ? out[i - channels] : 0;
      const int b = up ? up[i] : 0;
      const int c = up && i >= static_cast<std::size_t>(channels) ? up[i - channels] : 0;
      int predictor = 0;
      switch (filter) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c;
          const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: break;
      }
      out[i] = static_cast<std::uint8_t>(in[i] + predictor);
    }
  }
  for (std::size_t p = 0; p < pixels.size(); p += static_cast<std::size_t>(channels)) {
    image.rgb.insert(image.rgb.end(), &pixels[p], &pixels[p] + 3);
  }
  return image;
}

}  // namespace ftir::testing
