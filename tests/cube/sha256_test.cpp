// SHA-256 against the published test vectors, fed whole and in uneven pieces.
#include "cube/sha256.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/spc_images.h"

namespace ftir::cube {
namespace {

struct Vector {
  std::string message;
  const char* digest;
};

std::vector<Vector> vectors() {
  return {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: two blocks of
                                                                    // padding
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

TEST(Sha256, PublishedVectors) {
  for (const Vector& v : vectors()) {
    SCOPED_TRACE(v.message.substr(0, 20));
    EXPECT_EQ(sha256_hex(v.message), v.digest);
    // Pieces of 1, 2, ... 70 bytes cross every block boundary at a different place.
    Sha256 pieces;
    std::size_t at = 0;
    for (std::size_t n = 1; at < v.message.size(); n = n % 70 + 1) {
      const std::size_t take = std::min(n, v.message.size() - at);
      pieces.update({reinterpret_cast<const unsigned char*>(v.message.data() + at), take});
      at += take;
    }
    EXPECT_EQ(to_hex(pieces.digest()), v.digest);
  }
}

TEST(Sha256, FileAndUnreadableFile) {
  testing::TempDir dir;
  std::ofstream(dir.file("big")) << std::string(1000000, 'a');
  std::string problem;
  EXPECT_EQ(sha256_of_file(dir.file("big"), problem),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(problem, "");
  EXPECT_EQ(sha256_of_file(dir.file("none"), problem), "");
  EXPECT_EQ(problem, "Cannot open " + dir.file("none") + ": No such file or directory");
}

}  // namespace
}  // namespace ftir::cube
