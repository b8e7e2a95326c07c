// SHA-256 against the published test vectors (FIPS 180-2 examples), fed in
// one piece and in uneven pieces that cross the 64-byte block boundaries.
#include <gtest/gtest.h>

#include <string>

#include "results/sha256.h"

namespace qz5::results {
namespace {

struct Vector {
  const char* name;
  std::string message;
  const char* digest;
};

const Vector kVectors[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"two blocks (448 bits)", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"one million a", std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256Test, PublishedVectorsWholeAndInPieces) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(sha256_hex(v.message), v.digest);
    // Pieces of 1, 2, ..., 127 bytes, cycling.
    Sha256 s;
    std::size_t pos = 0, piece = 1;
    while (pos < v.message.size()) {
      const std::size_t n = std::min(piece, v.message.size() - pos);
      s.update(v.message.data() + pos, n);
      pos += n;
      piece = piece % 127 + 1;
    }
    EXPECT_EQ(s.hex(), v.digest);
  }
}

TEST(Sha256Test, FileDigestEqualsDigestOfItsBytesAndMissingFileGivesEmpty) {
  const std::string path = ::testing::TempDir() + "/qz5_sha256_test.bin";
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 7 % 256);
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  EXPECT_EQ(sha256_file(path), sha256_hex(bytes));
  EXPECT_EQ(sha256_file(path + ".missing"), "");
}

}  // namespace
}  // namespace qz5::results
