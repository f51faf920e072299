#include "json/json.h"
#include "json/json_escape.h"

namespace zor {
namespace {

bool BeginsAsJSON(std::string_view aText) { return !aText.empty() && (aText[0] == '{' || aText[0] == '['); }

}  // namespace

IzorObjectJSON TzorJSON::Node(std::string_view aName) const { return FData.GetNode(aName); }

void TzorJSON::SetNode(std::string_view aName, const IzorObjectJSON& aValue) { FData.SetNode(aName, aValue.get()); }

IzorObjectJSON TzorJSON::Item(int Index) const { return FData.GetItem(Index); }

void TzorJSON::SetItem(int Index, const IzorObjectJSON& aValue) { FData.SetItem(Index, aValue.get()); }

TzorObjectJSON* TzorJSON::TargetNode(std::string_view aName, TzorJSONtype aKind, bool& aCreated) {
  std::string escaped;
  if (FEscapeStrings) {
    escaped = EscapeJSONText(aName);
    aName = escaped;
  }
  // Names are looked up as they are stored, so that adding a name twice
  // replaces also when it had to be escaped.
  if (TzorObjectJSON* existing = FData.GetNode(aName)) {
    aCreated = false;
    return existing;
  }
  auto* node = new TzorObjectJSON(this);
  node->FName.assign(aName);
  node->FJSONType = aKind;
  FData.Add(node);
  aCreated = true;
  return node;
}

IzorObjectJSON TzorJSON::AddScalar(std::string_view aName, TzorJSONtype aKind, TzorJSONValue aValue) {
  bool created;
  TzorObjectJSON* node = TargetNode(aName, aKind, created);
  node->FValue.Set(std::move(aValue));
  node->FQuoted = true;
  return node;
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName, std::string_view aValue) {
  bool created;
  TzorObjectJSON* node = TargetNode(aName, zorJSONString, created);
  node->FValue.SetText(FEscapeStrings ? EscapeJSONText(aValue) : aValue);
  // A replaced value decides afresh too: raw JSON must not stay unquoted
  // once the value is plain text again.
  node->FQuoted = !BeginsAsJSON(aValue);
  return node;
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName, int32_t aValue) {
  return AddScalar(aName, zorJSONNumber, aValue);
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName, int64_t aValue) {
  return AddScalar(aName, zorJSONNumber, aValue);
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName, double aValue) {
  return AddScalar(aName, zorJSONNumber, aValue);
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName, bool aValue) {
  return AddScalar(aName, zorJSONBoolean, std::string(aValue ? "true" : "false"));
}

IzorObjectJSON TzorJSON::AddPair(std::string_view aName) { return AddScalar(aName, zorJSONNull, std::string()); }

IzorObjectJSON TzorJSON::AddNested(std::string_view aName, TzorJSONtype aKind, std::string_view aText) {
  bool created;
  TzorObjectJSON* node = TargetNode(aName, aKind, created);
  if (!created) {
    // An existing node takes the text as its value; nested content stays.
    node->FValue.SetText(aText);
    node->FQuoted = !BeginsAsJSON(aText);
    return node;
  }
  IzorJSON nested = node->JSONObject();
  if (!aText.empty()) nested->Read(aText);
  return node;
}

IzorObjectJSON TzorJSON::AddObject(std::string_view aName, std::string_view aValue) {
  return AddNested(aName, zorJSONObject, aValue);
}

IzorObjectJSON TzorJSON::AddArray(std::string_view aName, std::string_view aValue) {
  return AddNested(aName, zorJSONList, aValue);
}

}  // namespace zor
