// Compact text: no spaces, no line breaks, nodes in list order. Names and
// values are written as they are stored; escaping happens when they are added.
#include <algorithm>

#include "json/json.h"
#include "json/number_text.h"

namespace zor {
namespace {

void AppendName(std::string& aText, const TzorObjectJSON& aNode) {
  aText += '"';
  aText += aNode.Name();
  aText += "\":";
}

void AppendStringValue(std::string& aText, const TzorObjectJSON& aNode) {
  const auto* stored = std::get_if<std::string>(&aNode.StoredValue());
  std::string converted;
  if (!stored) {
    converted = JSONValueToText(aNode.StoredValue());
    stored = &converted;
  }
  bool wrap = aNode.Quoted() && (stored->empty() || stored->front() != '"');
  if (wrap) aText += '"';
  aText += *stored;
  if (wrap) aText += '"';
}

// Number text always has a full stop, whatever separator the text came with.
void AppendNumberValue(std::string& aText, const TzorObjectJSON& aNode) {
  const TzorJSONValue& value = aNode.StoredValue();
  if (const auto* d = std::get_if<double>(&value)) {
    AppendDoubleText(aText, *d);
    return;
  }
  size_t start = aText.size();
  AppendJSONValueText(aText, value);
  std::replace(aText.begin() + static_cast<std::ptrdiff_t>(start), aText.end(), ',', '.');
}

}  // namespace

std::string TzorJSON::Text() const {
  std::string text;
  AppendText(text);
  return text;
}

void TzorJSON::AppendText(std::string& aText) const {
  aText += FIsArray ? '[' : '{';
  AppendNodes(aText, FIsArray);
  aText += FIsArray ? ']' : '}';
}

void TzorJSON::AppendNodes(std::string& aText, bool aInArray) const {
  const size_t start = aText.size();
  for (const TzorObjectJSON* node : FData) {
    const size_t mark = aText.size();
    if (mark != start && aText.back() != ',') aText += ',';
    const size_t before = aText.size();
    NodeToText(aText, *node, aInArray);
    // A node that writes nothing must not leave a separator behind either.
    if (aText.size() == before) aText.resize(mark);
  }
}

std::string TzorJSON::NodeToText(const TzorObjectJSON& aNode, bool aInArray) const {
  std::string text;
  NodeToText(text, aNode, aInArray);
  return text;
}

void TzorJSON::NodeToText(std::string& aText, const TzorObjectJSON& aNode, bool aInArray) const {
  if (aNode.JSONType() == zorJSONUndefined) return;
  if (!aInArray) AppendName(aText, aNode);
  switch (aNode.JSONType()) {
    case zorJSONObject:
      if (const TzorJSON* nested = aNode.NestedJSON()) {
        nested->AppendText(aText);
      } else {
        aText += "{}";
      }
      break;
    case zorJSONList:
      // Always brackets and never element names, whatever the nested
      // document's IsArray says.
      aText += '[';
      if (const TzorJSON* nested = aNode.NestedJSON()) nested->AppendNodes(aText, true);
      aText += ']';
      break;
    case zorJSONString:
      AppendStringValue(aText, aNode);
      break;
    case zorJSONNumber:
      AppendNumberValue(aText, aNode);
      break;
    case zorJSONBoolean:
      AppendJSONValueText(aText, aNode.StoredValue());
      break;
    case zorJSONNull:
      aText += "null";
      break;
    case zorJSONUndefined:
      break;
  }
}

}  // namespace zor
