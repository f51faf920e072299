// The public header-compression stories: blocks made by five other coders are
// decoded, and every raw header set is encoded by us and read back both by us
// and by libnghttp2.
#include "http2/hpack.h"
#include "tests/http2/hpack_stories.h"

#include <gtest/gtest.h>
#include <nghttp2/nghttp2.h>

#include <memory>

namespace zor {
namespace {

using testing::LoadRawStories;
using testing::LoadWireStories;

const std::vector<testing::THPackRawStory>& RawStories() {
  static const auto stories = LoadRawStories();
  return stories;
}

class HPackStories : public ::testing::TestWithParam<std::string> {};

TEST_P(HPackStories, DecodeEveryStory) {
  const auto stories = LoadWireStories(GetParam());
  ASSERT_EQ(stories.size(), GetParam() == "nghttp2-change-table-size" ? 31u : 32u);
  size_t blocks = 0;
  for (const auto& story : stories) {
    SCOPED_TRACE("story " + story.number);
    const testing::THPackRawStory* raw = nullptr;
    for (const auto& candidate : RawStories())
      if (candidate.number == story.number) raw = &candidate;
    ASSERT_NE(raw, nullptr);
    ASSERT_EQ(story.blocks.size(), raw->headerSets.size());
    TzorHTTP2_HPACK decoder;
    TzorHTTP2_HeaderList headers;
    for (size_t i = 0; i < story.blocks.size(); ++i) {
      // What the decoder's side announced before this block.
      if (story.blocks[i].headerTableSize >= 0)
        decoder.SetDynamicTableSizeLimit(static_cast<uint32_t>(story.blocks[i].headerTableSize));
      decoder.Decode(story.blocks[i].octets, headers);
      ASSERT_EQ(headers.Text(), raw->headerSets[i].Text()) << "block " << i;
      ++blocks;
    }
  }
  EXPECT_GT(blocks, 3000u);
}

INSTANTIATE_TEST_SUITE_P(Coders, HPackStories,
                         ::testing::Values("nghttp2", "go-hpack", "python-hpack", "nghttp2-change-table-size",
                                           "swift-nio-hpack-huffman"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

// Decodes one block with libnghttp2's inflater into "name=value" lines.
std::string PeerDecode(nghttp2_hd_inflater* inflater, std::span<const uint8_t> block) {
  std::string text;
  const uint8_t* in = block.data();
  size_t left = block.size();
  for (;;) {
    nghttp2_nv field;
    int flags = 0;
    const auto used = nghttp2_hd_inflate_hd2(inflater, &field, &flags, in, left, 1);
    if (used < 0) return "inflate error " + std::to_string(used);
    in += used;
    left -= static_cast<size_t>(used);
    if (flags & NGHTTP2_HD_INFLATE_EMIT) {
      text.append(reinterpret_cast<const char*>(field.name), field.namelen);
      text += '=';
      text.append(reinterpret_cast<const char*>(field.value), field.valuelen);
      text += '\n';
    }
    if (flags & NGHTTP2_HD_INFLATE_FINAL) {
      nghttp2_hd_inflate_end_headers(inflater);
      return text;
    }
    if (!(flags & NGHTTP2_HD_INFLATE_EMIT) && left == 0) return text + "(no end)";
  }
}

TEST(HPackStoriesEncode, OursAndThePeerReadOurBlocks) {
  ASSERT_EQ(RawStories().size(), 32u);
  for (const TzorHPackHuffmanStrategy strategy : {h2huIfSmaller, h2huNever, h2huAlways}) {
    for (const auto& story : RawStories()) {
      SCOPED_TRACE("story " + story.number + " strategy " + std::to_string(strategy));
      TzorHTTP2_HPACK encoder, decoder;
      encoder.SetHuffmanStrategy(strategy);
      nghttp2_hd_inflater* raw = nullptr;
      ASSERT_EQ(nghttp2_hd_inflate_new(&raw), 0);
      std::unique_ptr<nghttp2_hd_inflater, decltype(&nghttp2_hd_inflate_del)> inflater(raw, nghttp2_hd_inflate_del);
      TzorByteBuffer block;
      TzorHTTP2_HeaderList decoded;
      size_t encodedOctets = 0, rawOctets = 0;
      for (size_t i = 0; i < story.headerSets.size(); ++i) {
        block.Clear();
        encoder.EncodeHeaders(story.headerSets[i], block);
        decoder.Decode(block.Span(), decoded);
        ASSERT_EQ(decoded.Text(), story.headerSets[i].Text()) << "block " << i;
        ASSERT_EQ(PeerDecode(inflater.get(), block.Span()), story.headerSets[i].Text()) << "block " << i;
        encodedOctets += block.Size();
        rawOctets += story.headerSets[i].HeaderListSize();
      }
      // Compression actually happens.
      EXPECT_LT(encodedOctets * 2, rawOctets);
    }
  }
}

}  // namespace
}  // namespace zor
