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

TEST(LineEndConverter, LoneCrAndLfBecomeCrLfWhereverTheChunksBreak) {
  const ChunkCase cases[] = {
      {"a lone LF", {"a\nb"}, "a\r\nb"},
      {"an existing CR LF", {"a\r\nb"}, "a\r\nb"},
      {"a lone CR", {"a\rb"}, "a\r\nb"},
      {"CR LF split between chunks", {"a\r", "\nb"}, "a\r\nb"},
      {"a lone CR at a chunk's end", {"a\r", "b"}, "a\r\nb"},
      {"a lone LF at a chunk's start", {"a", "\nb"}, "a\r\nb"},
      {"a lone LF at a chunk's end", {"a\n", "b"}, "a\r\nb"},
      {"one-byte chunks keep the byte before", {"a", "\r", "\n"}, "a\r\n"},
      {"a last lone LF", {"ab\n"}, "ab\r\n"},
      {"a last lone CR", {"ab\r"}, "ab\r\n"},
      {"a last letter", {"ab"}, "ab"},
      {"a high byte held back", {"a\xC8"}, "a\xC8"},
      {"LF CR is two line ends", {"\n\r"}, "\r\n\r\n"},
      {"empty chunks change nothing", {"", "a\r", "", "\n", ""}, "a\r\n"},
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
    // Every line end of the output is CR LF.
    for (size_t index = 0; index < whole.size(); ++index) {
      if (whole[index] == '\r') {
        ASSERT_EQ(whole[index + 1], '\n');
      } else if (whole[index] == '\n') {
        ASSERT_EQ(whole[index - 1], '\r');
      }
    }
  }
}

}  // namespace
}  // namespace pellmarsh
