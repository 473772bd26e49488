// MD5 and file digests: the RFC's test suite, files in views, the digest cache and file sizes.
#include <gtest/gtest.h>

#include "base/md5.h"
#include "results/digests.h"
#include "test_support.h"

namespace {

using base::DigestToHex;

TEST(MD5, RfcTestSuite) {
  struct Case {
    const char* text;
    const char* hex;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestToHex(base::MD5OfText(c.text)), c.hex) << c.text;
}

TEST(MD5, PiecesGiveTheSameDigestAsOneBlockAndFinishClears) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7);
  const auto whole = base::MD5OfText(data);
  for (std::size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 300u}) {
    base::TMD5Context ctx;
    for (std::size_t at = 0; at < data.size(); at += piece) ctx.Add(std::string_view(data).substr(at, piece));
    EXPECT_EQ(ctx.Finish(), whole) << piece;
    EXPECT_EQ(DigestToHex(ctx.Finish()), "d41d8cd98f00b204e9800998ecf8427e");  // cleared
  }
}

class FileDigests : public ::testing::Test {
 protected:
  static sim::MachineBuilder& Build(sim::MachineBuilder& b) {
    b.File(u"C:\\empty.txt");
    b.File(u"C:\\abc.txt", "abc");
    b.File(u"C:\\a=b.txt", "abc");
    b.File(u"C:\\locked.bin", "data").fail.read = true;
    std::string big;
    for (int i = 0; i < 200000; ++i) big += static_cast<char>('a' + i % 23);
    b.File(u"C:\\big.bin", big);
    auto& sparse = b.File(u"C:\\sparse.bin", "head");
    sparse.size = 300000;  // the rest reads as zeros
    return b;
  }
  FileDigests() : fx_(Build(b_)) {}
  sim::MachineBuilder b_;
  testing_support::SimMachineFixture fx_;
};

TEST_F(FileDigests, EmptyMissingAndUnreadableFilesGiveTheEmptyDigest) {
  for (const char* path : {"C:\\empty.txt", "C:\\missing.txt", "C:\\locked.bin", "C:\\"})
    EXPECT_EQ(results::FileMD5Text(path), base::kEmptyMD5) << path;
  EXPECT_EQ(results::FileMD5Text("C:\\abc.txt"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST_F(FileDigests, ViewsCoverTheWholeFile) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big += static_cast<char>('a' + i % 23);
  std::string sparse = "head";
  sparse.resize(300000, '\0');
  // Views of 64 KiB: several per file and a short last one.
  EXPECT_EQ(results::MD5OfFile("C:\\big.bin", 65536), base::MD5OfText(big));
  EXPECT_EQ(results::MD5OfFile("C:\\big.bin"), base::MD5OfText(big));
  EXPECT_EQ(results::MD5OfFile("C:\\sparse.bin", 65536), base::MD5OfText(sparse));
}

TEST_F(FileDigests, CacheAnswersRepeatsAndKeepsPathsWithEquals) {
  results::ResetDigestCache();
  EXPECT_EQ(results::CachedFileMD5("C:\\abc.txt"), "900150983cd24fb0d6963f7d28e17f72");
  // Changed on disk afterwards: the cache still answers what it saw (it is never invalidated).
  fx_.machine().FindFile(u"C:\\abc.txt")->content = "xyz";
  EXPECT_EQ(results::CachedFileMD5("C:\\ABC.TXT"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(results::CachedFileMD5("C:\\a=b.txt"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(results::CachedFileMD5("C:\\a=b.txt"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(results::DigestCacheLines(),
            (std::vector<std::string>{"C:\\abc.txt=900150983cd24fb0d6963f7d28e17f72",
                                      "C:\\a=b.txt=900150983cd24fb0d6963f7d28e17f72"}));
}

TEST_F(FileDigests, FileSizes) {
  EXPECT_EQ(results::FileSize64("C:\\abc.txt"), 3);
  EXPECT_EQ(results::FileSize64("C:\\sparse.bin"), 300000);
  EXPECT_EQ(results::FileSize64("C:\\missing.txt"), 0);
  EXPECT_EQ(results::FileSize64("C:\\locked.bin"), 0);
  fx_.machine().FindFile(u"C:\\sparse.bin")->size = (std::uint64_t{1} << 32) + 5;
  EXPECT_EQ(results::FileSize64("C:\\sparse.bin"), (std::int64_t{1} << 32) + 5);
}

}  // namespace
