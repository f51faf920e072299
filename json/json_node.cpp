#include "json/json.h"
#include "json/number_text.h"

namespace zor {

void AppendJSONValueText(std::string& aText, const TzorJSONValue& aValue) {
  struct Append {
    std::string& text;
    void operator()(std::monostate) const {}
    void operator()(const std::string& v) const { text += v; }
    void operator()(int32_t v) const { AppendIntegerText(text, v); }
    void operator()(int64_t v) const { AppendIntegerText(text, v); }
    void operator()(double v) const { AppendDoubleText(text, v); }
    void operator()(bool v) const { text += v ? "true" : "false"; }
  };
  std::visit(Append{aText}, aValue);
}

std::string JSONValueToText(const TzorJSONValue& aValue) {
  std::string text;
  AppendJSONValueText(text, aValue);
  return text;
}

IzorJSON TzorObjectJSON::JSONObject() {
  if (!FJSONObject) FJSONObject = new TzorJSON(this);
  if (FJSONType != zorJSONList) FJSONType = zorJSONObject;
  return FJSONObject;
}

IzorObjectJSON TzorObjectJSON::Node(std::string_view aName) { return JSONObject()->Node(aName); }

void TzorObjectJSON::SetNode(std::string_view aName, const IzorObjectJSON& aValue) {
  JSONObject()->SetNode(aName, aValue);
}

IzorObjectJSON TzorObjectJSON::Item(int Index) { return JSONObject()->Item(Index); }

void TzorObjectJSON::SetItem(int Index, const IzorObjectJSON& aValue) { JSONObject()->SetItem(Index, aValue); }

TzorJSONValue TzorObjectJSON::Value() {
  if (FJSONType == zorJSONObject) return JSONObject()->Text();
  if (FJSONType == zorJSONList) {
    IzorJSON nested = JSONObject();
    nested->SetIsArray(true);
    return nested->Text();
  }
  return FValue;
}

std::string TzorObjectJSON::ValueText() {
  if (FJSONType == zorJSONObject || FJSONType == zorJSONList) return std::get<std::string>(Value());
  return JSONValueToText(FValue);
}

int TzorObjectJSON::Count() const { return FJSONObject ? FJSONObject->Count() : 0; }

void TzorObjectJSON::SetName(std::string_view aValue) {
  FName.assign(aValue);
  TzorObjectJSONList::NodeRenamed();
}

}  // namespace zor
