#include "cube/sha256.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "spcfile/file_access.h"
#include "spcfile/file_error.h"

namespace ftir::cube {
namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }

}  // namespace

// The first 32 bits of the fractional parts of the square roots of the first 8 primes.
Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::compress(const unsigned char* block) {
  std::array<std::uint32_t, 64> w{};
  for (int i = 0; i < 16; ++i) {  // big-endian words
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
    const std::uint32_t choose = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + s1 + choose + kRound[i] + w[i];
    const std::uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
    const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + s0 + majority;
  }
  const std::array<std::uint32_t, 8> add{a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state_[i] += add[i];
}

void Sha256::update(std::span<const unsigned char> bytes) {
  total_ += bytes.size();
  std::size_t at = 0;
  if (filled_ > 0) {
    while (at < bytes.size() && filled_ < block_.size()) block_[filled_++] = bytes[at++];
    if (filled_ < block_.size()) return;
    compress(block_.data());
    filled_ = 0;
  }
  for (; bytes.size() - at >= 64; at += 64) compress(bytes.data() + at);
  while (at < bytes.size()) block_[filled_++] = bytes[at++];
}

// The padding: one 1 bit, zeros up to 56 bytes of the last block, the length in bits as a
// big-endian 64-bit number.
std::array<unsigned char, 32> Sha256::digest() {
  const std::uint64_t bits = total_ * 8;
  const unsigned char one = 0x80;
  update({&one, 1});
  const unsigned char zero = 0;
  while (filled_ != 56) update({&zero, 1});
  std::array<unsigned char, 8> length{};
  for (int i = 0; i < 8; ++i) length[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  update(length);
  std::array<unsigned char, 32> out{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j)
      out[4 * i + j] = static_cast<unsigned char>(state_[i] >> (24 - 8 * j));
  }
  return out;
}

std::string to_hex(std::span<const unsigned char> digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 sha;
  sha.update({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
  return to_hex(sha.digest());
}

std::string sha256_of_file(const std::string& path, std::string& problem) {
  spcfile::OpenedInput opened = spcfile::try_open_input(path);
  if (opened.file == nullptr) {
    problem = opened.problem;
    return "";
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened.file, &std::fclose);
  Sha256 sha;
  std::vector<unsigned char> piece(1 << 20);
  for (;;) {
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.get());
    sha.update({piece.data(), got});
    if (got < piece.size()) break;
  }
  if (std::ferror(file.get())) {
    problem = spcfile::file_error_text("Cannot read", path, errno != 0 ? errno : EIO);
    return "";
  }
  return to_hex(sha.digest());
}

}  // namespace ftir::cube
