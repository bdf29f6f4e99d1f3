// Hand-made SPC byte images for tests, written byte by byte from the layout tables
// (independently of src/spcfile), plus a temporary folder to put them in.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ftir::testing {

using ByteImage = std::vector<unsigned char>;

inline void set_le(ByteImage& image, std::size_t offset, std::uint64_t value, int bytes) {
  if (image.size() < offset + static_cast<std::size_t>(bytes)) {
    image.resize(offset + static_cast<std::size_t>(bytes));
  }
  for (int i = 0; i < bytes; ++i) {
    image[offset + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
  }
}
inline void set_f32(ByteImage& image, std::size_t offset, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  set_le(image, offset, bits, 4);
}
inline void set_f64(ByteImage& image, std::size_t offset, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  set_le(image, offset, bits, 8);
}

inline void append_i16(ByteImage& image, std::int16_t value) {
  set_le(image, image.size(), static_cast<std::uint16_t>(value), 2);
}
inline void append_i32(ByteImage& image, std::int32_t value) {
  set_le(image, image.size(), static_cast<std::uint32_t>(value), 4);
}
inline void append_f32(ByteImage& image, float value) { set_f32(image, image.size(), value); }
// Old-format 32-bit value: the more significant 16-bit half first, each half
// least-significant byte first.
inline void append_i32_old(ByteImage& image, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  set_le(image, image.size(), bits >> 16, 2);
  set_le(image, image.size(), bits & 0xFFFFu, 2);
}

// New-format header fields that the reader uses; the image is 544 bytes (header and an
// all-zero subheader), data is appended by the caller.
struct NewHeaderFields {
  std::uint8_t flags = 0x00;
  std::uint8_t version = 0x4B;
  std::int8_t exponent = 0;
  std::int32_t pointcount = 0;
  double firstx = 0.0;
  double lastx = 0.0;
  float spare1 = 0.0f;
  float spare2 = 0.0f;
};

inline ByteImage new_format_header(const NewHeaderFields& f) {
  ByteImage image(544, 0);
  image[0] = f.flags;
  image[1] = f.version;
  image[3] = static_cast<unsigned char>(f.exponent);
  set_le(image, 4, static_cast<std::uint32_t>(f.pointcount), 4);
  set_f64(image, 8, f.firstx);
  set_f64(image, 16, f.lastx);
  set_f32(image, 56, f.spare1);
  set_f32(image, 60, f.spare2);
  return image;
}

// Old-format header fields that the reader uses; the image is 256 bytes.
struct OldHeaderFields {
  std::uint8_t flags = 0x00;
  std::int16_t exponent = 0;
  float pointcount = 0.0f;
  float firstx = 0.0f;
  float lastx = 0.0f;
  float spare1 = 0.0f;
  float spare2 = 0.0f;
};

inline ByteImage old_format_header(const OldHeaderFields& f) {
  ByteImage image(256, 0);
  image[0] = f.flags;
  image[1] = 0x4D;
  set_le(image, 2, static_cast<std::uint16_t>(f.exponent), 2);
  set_f32(image, 4, f.pointcount);
  set_f32(image, 8, f.firstx);
  set_f32(image, 12, f.lastx);
  set_f32(image, 36, f.spare1);
  set_f32(image, 40, f.spare2);
  return image;
}

inline ByteImage read_file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteImage(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    std::mt19937_64 gen(seed());
    path_ = std::filesystem::temp_directory_path() / ("ftir-test-" + std::to_string(gen()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  // Writes `image` to `name` in the folder and returns the full path.
  std::string write(std::string_view name, const ByteImage& image) const {
    const std::string full = file(name);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return full;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace ftir::testing
