// SHA-256 of bytes and of files, so that a cube names the exact inputs it was made from.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ftir::cube {

// SHA-256 fed in pieces of any size: update() as often as needed, then digest() once.
class Sha256 {
 public:
  Sha256();
  void update(std::span<const unsigned char> bytes);
  // The 32-byte digest; the object is spent afterwards.
  std::array<unsigned char, 32> digest();

 private:
  void compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> block_{};
  std::size_t filled_ = 0;   // bytes waiting in block_
  std::uint64_t total_ = 0;  // bytes fed so far
};

// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string sha256_hex(std::string_view bytes);
std::string to_hex(std::span<const unsigned char> digest);

// The hex digest of the file `path`, read in pieces; "" with `problem` set ("Cannot read
// <path>: <reason>") when it cannot be read whole.
std::string sha256_of_file(const std::string& path, std::string& problem);

}  // namespace ftir::cube
