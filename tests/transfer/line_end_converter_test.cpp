#include "transfer/line_end_converter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pellmarsh {
namespace {

// Converts the chunks one after the other and flushes, as a whole transfer does.
std::string ConvertChunks(const std::vector<std::string>& chunks) {
  LineEndConverter converter;
  std::string out;
  for (const std::string& chunk : chunks) {
    converter.Convert(chunk.data(), chunk.size(), out);
  }
  converter.Flush(out);
  return out;
}

struct ChunkCase {
  const char* what;
  std::vector<std::string> chunks;
  std::string expected;
};

TEST(LineEndConverter, CrLfAndLoneCrBecomeLfWhereverTheChunksBreak) {
  const ChunkCase cases[] = {
      {"a lone LF", {"a\nb"}, "a\nb"},
      {"an existing CR LF", {"a\r\nb"}, "a\nb"},
      {"a lone CR", {"a\rb"}, "a\nb"},
      {"CR LF split between chunks", {"a\r", "\nb"}, "a\nb"},
      {"a lone CR at a chunk's end", {"a\r", "b"}, "a\nb"},
      {"a lone LF at a chunk's start", {"a", "\nb"}, "a\nb"},
      {"a lone LF at a chunk's end", {"a\n", "b"}, "a\nb"},
      {"one-byte chunks keep the byte before", {"a", "\r", "\n"}, "a\n"},
      {"a last lone LF", {"ab\n"}, "ab\n"},
      {"a last lone CR", {"ab\r"}, "ab\n"},
      {"a last letter", {"ab"}, "ab"},
      {"a high byte held back", {"a\xC8"}, "a\xC8"},
      {"LF CR is two line ends", {"\n\r"}, "\n\n"},
      {"empty chunks change nothing", {"", "a\r", "", "\n", ""}, "a\n"},
      {"LF text is kept byte for byte", {"one\ntwo\n", "\nthree\n"}, "one\ntwo\n\nthree\n"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(ConvertChunks(row.chunks), row.expected) << row.what;
  }
}

TEST(LineEndConverter, RandomSplitsGiveTheSameOutputAsOneChunk) {
  std::mt19937 random(8);
  const char alphabet[] = {'\r', '\n', 'x', '\r', '\n', 'y'};
  std::uniform_int_distribution<int> pick(0, 5);
  for (int round = 0; round < 500; ++round) {
    std::string data;
    const int length = std::uniform_int_distribution<int>(0, 60)(random);
    for (int index = 0; index < length; ++index) {
      data.push_back(alphabet[pick(random)]);
    }
    const std::string whole = ConvertChunks({data});
    std::vector<std::string> pieces;
    size_t at = 0;
    while (at < data.size()) {
      const size_t piece = std::uniform_int_distribution<size_t>(0, 4)(random);
      pieces.push_back(data.substr(at, piece));
      at += piece;
    }
    ASSERT_EQ(ConvertChunks(pieces), whole) << "round " << round;
    // Every line end of the output is LF.
    ASSERT_EQ(whole.find('\r'), std::string::npos);
  }
}

}  // namespace
}  // namespace pellmarsh
