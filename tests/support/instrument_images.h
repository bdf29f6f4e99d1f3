// Hand-made OPUS and SPA byte images for tests, written from the published layouts
// (independently of src/opusfile and src/omnicfile): a small file of each kind whose fields
// a test may then corrupt one at a time.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "support/spc_images.h"

namespace ftir::testing {

// An OPUS parameter entry: key, then an i32, an f64 or a text of the given type (2 string,
// 3 enum).
struct OpusEntry {
  std::string key;
  std::variant<std::int32_t, double, std::string> value;
  int text_type = 2;
};

struct OpusImage {
  ByteImage bytes;
  std::vector<std::size_t> offsets;  // of each block, in directory order
  static constexpr std::size_t kDirectory = 24;
  std::size_t entry(std::size_t i) const { return kDirectory + 12 * i; }  // directory entry i
};

// Blocks in the order given: a header (magic 0A 0A FE FE, version 920622.0, directory at 24,
// room and count the block count), the directory of 12-byte entries, then the blocks.
class OpusBuilder {
 public:
  OpusBuilder& parameters(std::uint32_t type, const std::vector<OpusEntry>& entries) {
    ByteImage body;
    for (const OpusEntry& e : entries) {
      const std::size_t at = body.size();
      for (int i = 0; i < 3; ++i) body.push_back(static_cast<unsigned char>(e.key[i]));
      body.push_back(0);
      if (const auto* i = std::get_if<std::int32_t>(&e.value)) {
        set_le(body, at + 4, 0, 2);
        set_le(body, at + 6, 2, 2);
        set_le(body, at + 8, static_cast<std::uint32_t>(*i), 4);
      } else if (const auto* d = std::get_if<double>(&e.value)) {
        set_le(body, at + 4, 1, 2);
        set_le(body, at + 6, 4, 2);
        set_f64(body, at + 8, *d);
      } else {
        const std::string& text = std::get<std::string>(e.value);
        const std::size_t words = (text.size() + 2) / 2;  // NUL ended, whole 16-bit words
        set_le(body, at + 4, static_cast<std::uint64_t>(e.text_type), 2);
        set_le(body, at + 6, words, 2);
        body.resize(at + 8 + words * 2, 0);
        for (std::size_t k = 0; k < text.size(); ++k) {
          body[at + 8 + k] = static_cast<unsigned char>(text[k]);
        }
      }
    }
    for (const char c : std::string("END")) body.push_back(static_cast<unsigned char>(c));
    body.resize(body.size() + 5, 0);
    blocks_.push_back({type, body});
    return *this;
  }
  OpusBuilder& floats(std::uint32_t type, const std::vector<float>& values) {
    ByteImage body;
    for (const float v : values) set_f32(body, body.size(), v);
    blocks_.push_back({type, body});
    return *this;
  }
  OpusImage build() const {
    OpusImage image;
    ByteImage& b = image.bytes;
    const std::size_t n = blocks_.size();
    for (const int c : {0x0A, 0x0A, 0xFE, 0xFE}) b.push_back(static_cast<unsigned char>(c));
    set_f64(b, 4, 920622.0);
    set_le(b, 12, OpusImage::kDirectory, 4);
    set_le(b, 16, n, 4);
    set_le(b, 20, n, 4);
    std::size_t at = OpusImage::kDirectory + 12 * n;
    b.resize(at, 0);
    for (std::size_t i = 0; i < n; ++i) {
      const Block& block = blocks_[i];
      const std::size_t words = (block.body.size() + 3) / 4;
      set_le(b, image.entry(i), block.type, 4);
      set_le(b, image.entry(i) + 4, words, 4);
      set_le(b, image.entry(i) + 8, at, 4);
      image.offsets.push_back(at);
      b.insert(b.end(), block.body.begin(), block.body.end());
      b.resize(at + words * 4, 0);
      at = b.size();
    }
    return image;
  }

 private:
  struct Block {
    std::uint32_t type;
    ByteImage body;
  };
  std::vector<Block> blocks_;
};

// An SPA image: the signature, a title, `sections` directory entries from byte 304 and
// the sections after them, each (key, body).
struct SpaImage {
  ByteImage bytes;
  std::vector<std::size_t> offsets;
  static std::size_t entry(std::size_t i) { return 304 + 16 * i; }
};

inline SpaImage spa_image(const std::vector<std::pair<int, ByteImage>>& sections) {
  SpaImage image;
  ByteImage& b = image.bytes;
  for (const char c : std::string("Spectral Data File")) b.push_back(static_cast<unsigned char>(c));
  b.resize(304, 0);
  const std::string title = "synthetic";
  for (std::size_t i = 0; i < title.size(); ++i) b[30 + i] = static_cast<unsigned char>(title[i]);
  set_le(b, 294, sections.size(), 2);
  std::size_t at = 304 + 16 * (sections.size() + 1);  // an empty entry closes the directory
  b.resize(at, 0);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    set_le(b, SpaImage::entry(i), static_cast<std::uint64_t>(sections[i].first), 1);
    set_le(b, SpaImage::entry(i) + 2, at, 4);
    set_le(b, SpaImage::entry(i) + 6, sections[i].second.size(), 4);
    image.offsets.push_back(at);
    b.insert(b.end(), sections[i].second.begin(), sections[i].second.end());
    at = b.size();
  }
  return image;
}

// A header section of 140 bytes: points, X and Y units, first and last X, scan points,
// scans, transform points, background scans, laser (cm-1) and sample spacing.
inline ByteImage spa_header(std::uint32_t points, int x_units, float first_x, float last_x,
                            float laser, float spacing) {
  ByteImage h(140, 0);
  set_le(h, 0, 1, 4);
  set_le(h, 4, points, 4);
  set_le(h, 8, static_cast<std::uint64_t>(x_units), 1);
  set_le(h, 12, 22, 1);
  set_f32(h, 16, first_x);
  set_f32(h, 20, last_x);
  set_le(h, 28, points, 4);
  set_le(h, 36, 4, 4);
  set_le(h, 44, 16, 4);
  set_f32(h, 80, laser);
  set_f32(h, 84, spacing);
  return h;
}

inline ByteImage f32_values(const std::vector<float>& values) {
  ByteImage b;
  for (const float v : values) set_f32(b, b.size(), v);
  return b;
}

}  // namespace ftir::testing
