// The reader on arbitrary bytes, then the text of what it kept, the values
// of its nodes and a second read of that text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/json.h"

namespace {

// Touches every node the way callers navigate documents.
void Walk(zor::TzorJSON& document) {
  for (int i = 0; i < document.Count(); ++i) {
    zor::IzorObjectJSON node = document.Item(i);
    (void)document.Node(node->Name());
    if (node->NestedJSON()) Walk(*node->NestedJSON());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  zor::TzorJSON document;
  document.Read(input);
  std::string text = document.Text();
  Walk(document);
  for (int i = 0; i < document.Count() && i < 4; ++i) (void)document.Item(i)->ValueText();
  zor::TzorJSON again;
  again.Read(text);
  (void)again.Text();
  return 0;
}
