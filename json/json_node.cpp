#include "json/json.h"

namespace zor {

void AppendStoredValue(TzorJSONTextSink& aText, const TzorJSONStoredValue& aValue) {
  struct Append {
    TzorJSONTextSink& text;
    void operator()(std::monostate) const {}
    void operator()(std::string_view v) const { text.Append(v); }
    void operator()(int32_t v) const { text.AppendInteger(v); }
    void operator()(int64_t v) const { text.AppendInteger(v); }
    void operator()(double v) const { text.AppendDouble(v); }
    void operator()(bool v) const { text.Append(std::string_view(v ? "true" : "false")); }
  };
  aValue.Visit(Append{aText});
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
  return FValue.Get();
}

std::string TzorObjectJSON::ValueText() {
  if (FJSONType == zorJSONObject || FJSONType == zorJSONList) return std::get<std::string>(Value());
  std::string text;
  {
    TzorJSONTextSink sink(text);
    AppendStoredValue(sink, FValue);
  }
  return text;
}

int TzorObjectJSON::Count() const { return FJSONObject ? FJSONObject->Count() : 0; }

void TzorObjectJSON::SetName(std::string_view aValue) {
  FName.assign(aValue);
  TzorObjectJSONList::NodeRenamed();
}

}  // namespace zor
