// Compact text: no spaces, no line breaks, nodes in list order. Names and
// values are written as they are stored; escaping happens when they are added.
#include <type_traits>

#include "json/json.h"
#include "json/number_text.h"

namespace zor {
namespace {

void AppendName(TzorJSONTextSink& aText, const TzorObjectJSON& aNode) {
  aText.Append('"');
  aText.Append(aNode.Name());
  aText.Append(std::string_view("\":"));
}

void AppendStringValue(TzorJSONTextSink& aText, const TzorObjectJSON& aNode) {
  std::string converted;
  std::string_view stored = aNode.StoredValue().Visit([&](const auto& v) -> std::string_view {
    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string_view>) {
      return v;
    } else {
      TzorJSONTextSink sink(converted);
      AppendStoredValue(sink, aNode.StoredValue());
      return {};
    }
  });
  std::string_view text = converted.empty() ? stored : std::string_view(converted);
  bool wrap = aNode.Quoted() && (text.empty() || text.front() != '"');
  if (wrap) aText.Append('"');
  aText.Append(text);
  if (wrap) aText.Append('"');
}

// Number text always has a full stop, whatever separator the text came with.
void AppendNumberValue(TzorJSONTextSink& aText, const TzorObjectJSON& aNode) {
  aNode.StoredValue().Visit([&](const auto& v) {
    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string_view>) {
      for (char c : v) aText.Append(c == ',' ? '.' : c);
    } else {
      AppendStoredValue(aText, aNode.StoredValue());
    }
  });
}

}  // namespace

std::string TzorJSON::Text() const {
  std::string text;
  AppendText(text);
  return text;
}

void TzorJSON::AppendText(std::string& aText) const {
  TzorJSONTextSink sink(aText);
  AppendText(sink);
}

void TzorJSON::AppendText(TzorJSONTextSink& aText) const {
  aText.Append(FIsArray ? '[' : '{');
  AppendNodes(aText, FIsArray);
  aText.Append(FIsArray ? ']' : '}');
}

void TzorJSON::AppendNodes(TzorJSONTextSink& aText, bool aInArray) const {
  const size_t start = aText.Size();
  for (const TzorObjectJSON* node : FData) {
    const size_t mark = aText.Size();
    if (mark != start && aText.Back() != ',') aText.Append(',');
    const size_t before = aText.Size();
    NodeToText(aText, *node, aInArray);
    // A node that writes nothing must not leave a separator behind either.
    if (aText.Size() == before) aText.Truncate(mark);
  }
}

std::string TzorJSON::NodeToText(const TzorObjectJSON& aNode, bool aInArray) const {
  std::string text;
  {
    TzorJSONTextSink sink(text);
    NodeToText(sink, aNode, aInArray);
  }
  return text;
}

void TzorJSON::NodeToText(TzorJSONTextSink& aText, const TzorObjectJSON& aNode, bool aInArray) const {
  if (aNode.JSONType() == zorJSONUndefined) return;
  if (!aInArray) AppendName(aText, aNode);
  switch (aNode.JSONType()) {
    case zorJSONObject:
      if (const TzorJSON* nested = aNode.NestedJSON()) {
        nested->AppendText(aText);
      } else {
        aText.Append(std::string_view("{}"));
      }
      break;
    case zorJSONList:
      // Always brackets and never element names, whatever the nested
      // document's IsArray says.
      aText.Append('[');
      if (const TzorJSON* nested = aNode.NestedJSON()) nested->AppendNodes(aText, true);
      aText.Append(']');
      break;
    case zorJSONString:
      AppendStringValue(aText, aNode);
      break;
    case zorJSONNumber:
      AppendNumberValue(aText, aNode);
      break;
    case zorJSONBoolean:
      AppendStoredValue(aText, aNode.StoredValue());
      break;
    case zorJSONNull:
      aText.Append(std::string_view("null"));
      break;
    case zorJSONUndefined:
      break;
  }
}

}  // namespace zor
