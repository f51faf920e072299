#include "pinecone/pinecone_records.h"

#include <charconv>

#include "base/exceptions.h"
#include "base/format.h"
#include "json/json.h"

namespace zor {

std::string EscapeRequestText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out;
}

bool IsRawJSONText(std::string_view text) { return !text.empty() && (text.front() == '{' || text.front() == '['); }

void AddPineconeString(TzorJSON& json, std::string_view name, std::string_view value) {
  json.AddPair(EscapeRequestText(name), IsRawJSONText(value) ? std::string(value) : EscapeRequestText(value));
}

void AddPineconeMap(TzorJSON& json, std::string_view name, const TzorPineconeStringList& lines) {
  IzorJSON members = json.AddObject(name, "")->JSONObject();
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      AddPineconeString(*members, line, "");
    } else {
      AddPineconeString(*members, std::string_view(line).substr(0, eq), std::string_view(line).substr(eq + 1));
    }
  }
}

namespace {

// Array elements are named by their index; the writer leaves the names out.
template <class Numbers>
void AddNumbers(TzorJSON& json, std::string_view name, const Numbers& values) {
  IzorJSON items = json.AddArray(name, "")->JSONObject();
  for (size_t i = 0; i < values.size(); ++i) items->AddPair(std::to_string(i), values[i]);
}

void AddStrings(TzorJSON& json, std::string_view name, const TzorPineconeStringList& values) {
  IzorJSON items = json.AddArray(name, "")->JSONObject();
  for (size_t i = 0; i < values.size(); ++i) AddPineconeString(*items, std::to_string(i), values[i]);
}

void AddSparse(TzorJSON& json, std::string_view name, const TzorHTTPPineconeSparseVector& sparse) {
  IzorJSON members = json.AddObject(name, "")->JSONObject();
  AddNumbers(*members, "indices", sparse.Indices());
  AddNumbers(*members, "values", sparse.Values());
}

void AddMapIfAny(TzorJSON& json, std::string_view name, const TzorPineconeStringList& lines) {
  if (!lines.empty()) AddPineconeMap(json, name, lines);
}

void AddSparseIfAny(TzorJSON& json, std::string_view name, const TzorHTTPPineconeSparseVector& sparse) {
  if (!sparse.Indices().empty()) AddSparse(json, name, sparse);
}

void AddStringIfAny(TzorJSON& json, std::string_view name, const std::string& value) {
  if (!value.empty()) AddPineconeString(json, name, value);
}

void AddTrueIfSet(TzorJSON& json, std::string_view name, bool value) {
  if (value) json.AddPair(name, true);
}

// Number text as the user writes it: one optional sign, digits with "." as
// the decimal separator, optional exponent; no locale, no "inf" or "nan".
bool ParseDouble(std::string_view text, double& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
  if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (negative) value = -value;
  return true;
}

}  // namespace

TzorArrayOfDouble TextToArrayOfDouble(std::string_view text) {
  TzorJSON json;
  json.Read(text);
  TzorArrayOfDouble numbers(static_cast<size_t>(json.Count()));
  for (int i = 0; i < json.Count(); ++i) {
    const std::string item = json.Item(i)->ValueText();
    if (!ParseDouble(item, numbers[static_cast<size_t>(i)])) {
      throw EConvertError(Format("'%s' is not a valid floating point value", item.c_str()));
    }
  }
  return numbers;
}

std::string TzorHTTPPineconeVectorQuery::AsJSON() {
  TzorJSON json;
  AddStringIfAny(json, "namespace", namespace_);
  json.AddPair("topK", top_k_);
  AddMapIfAny(json, "filter", Filter());
  AddTrueIfSet(json, "includeValues", include_values_);
  AddTrueIfSet(json, "includeMetadata", include_metadata_);
  if (!vector_.empty()) AddNumbers(json, "vector", vector_);
  AddSparseIfAny(json, "sparseVector", SparseVector());
  AddStringIfAny(json, "id", id_);
  return json.Text();
}

std::string TzorHTTPPineconeVectorDelete::AsJSON() {
  TzorJSON json;
  if (!Ids().empty()) AddStrings(json, "ids", Ids());
  AddTrueIfSet(json, "deleteAll", delete_all_);
  AddStringIfAny(json, "namespace", namespace_);
  AddMapIfAny(json, "filter", Filter());
  return json.Text();
}

std::string TzorHTTPPineconeVectorUpdate::AsJSON() {
  TzorJSON json;
  AddStringIfAny(json, "id", id_);
  if (!values_.empty()) AddNumbers(json, "values", values_);
  AddSparseIfAny(json, "sparseValues", SparseValues());
  AddMapIfAny(json, "setMetadata", SetMetadata());
  AddStringIfAny(json, "namespace", namespace_);
  return json.Text();
}

std::string TzorHTTPPineconeVectorUpsert::AsJSON() {
  TzorJSON json;
  AddPineconeString(json, "id", id_);
  AddNumbers(json, "values", values_);
  AddSparseIfAny(json, "sparseValues", SparseValues());
  AddMapIfAny(json, "metadata", Metadata());
  return json.Text();
}

std::string TzorHTTPPineconeVectorUpserts::AsJSON() {
  std::string text = "{\"vectors\": [";
  for (size_t i = 0; i < vectors_.size(); ++i) {
    if (i) text += ',';
    text += vectors_[i]->AsJSON();
  }
  text += ']';
  if (!namespace_.empty()) text += ",\"namespace\": \"" + EscapeRequestText(namespace_) + '"';
  text += '}';
  return text;
}

std::string TzorHTTPPineconeIndexCreate::AsJSON() {
  TzorJSON json;
  AddPineconeString(json, "name", name_);
  json.AddPair("dimension", dimension_);
  AddStringIfAny(json, "metric", metric_);
  if (pods_ != 0) json.AddPair("pods", pods_);
  if (replicas_ != 0) json.AddPair("replicas", replicas_);
  AddStringIfAny(json, "pod_type", pod_type_);
  AddMapIfAny(json, "metadata_config", MetadataConfig());
  AddStringIfAny(json, "source_collection", source_collection_);
  return json.Text();
}

}  // namespace zor
