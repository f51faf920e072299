#pragma once
// Reads the header-compression test stories of tests/http2/data/hpack (see
// convert.py there): the raw header sets, and the blocks other coders made of
// them. Shared by the tests and the benchmark.
#include "base/bytes.h"
#include "http2/header_list.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zor::testing {

struct THPackRawStory {
  std::string number;
  std::vector<TzorHTTP2_HeaderList> headerSets;
};

struct THPackBlock {
  int64_t headerTableSize;  // -1: none announced before this block
  TBytes octets;
};

struct THPackWireStory {
  std::string number;
  std::vector<THPackBlock> blocks;
};

inline std::string HPackDataPath(const std::string& file) {
  return std::string(ZOR_SOURCE_DIR) + "/tests/http2/data/hpack/" + file;
}

inline std::ifstream OpenHPackData(const std::string& file) {
  std::ifstream in(HPackDataPath(file));
  if (!in) throw std::runtime_error("cannot open " + HPackDataPath(file));
  return in;
}

inline std::vector<THPackRawStory> LoadRawStories() {
  std::ifstream in = OpenHPackData("raw-data.txt");
  std::vector<THPackRawStory> stories;
  bool setOpen = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("story ", 0) == 0) {
      stories.push_back({line.substr(6), {}});
      setOpen = false;
    } else if (line.empty()) {
      setOpen = false;
    } else {
      if (!setOpen) stories.back().headerSets.emplace_back();
      setOpen = true;
      const size_t tab = line.find('\t');
      stories.back().headerSets.back().Add(line.substr(0, tab), line.substr(tab + 1));
    }
  }
  return stories;
}

inline std::vector<THPackWireStory> LoadWireStories(const std::string& coder) {
  std::ifstream in = OpenHPackData(coder + ".txt");
  std::vector<THPackWireStory> stories;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("story ", 0) == 0) {
      stories.push_back({line.substr(6), {}});
      continue;
    }
    const size_t blank = line.find(' ');
    const std::string size = line.substr(0, blank);
    stories.back().blocks.push_back({size == "-" ? -1 : std::stoll(size), HexTextToBytes(line.substr(blank + 1))});
  }
  return stories;
}

}  // namespace zor::testing
