#include "tools/pinecone-local/request_fields.h"

#include "base/url.h"
#include "tools/pinecone-local/local_routes.h"

namespace zor::pinecone_local {
namespace json = boost::json;

json::object ParseObject(const std::string& body) {
  boost::system::error_code ec;
  json::value value = json::parse(body, ec);
  if (ec || !value.is_object()) throw ServiceError{400, "The request body is not a JSON object"};
  return std::move(value.get_object());
}

std::string StringMember(const json::object& object, std::string_view key, bool required) {
  const json::value* value = object.if_contains(key);
  if (!value) {
    if (required) throw ServiceError{400, "Missing required field '" + std::string(key) + "'"};
    return {};
  }
  if (!value->is_string()) throw ServiceError{400, "Field '" + std::string(key) + "' must be a string"};
  return std::string(value->get_string());
}

std::optional<int64_t> IntegerMember(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value) return std::nullopt;
  if (value->is_int64()) return value->get_int64();
  if (value->is_uint64() && value->get_uint64() <= INT64_MAX) return static_cast<int64_t>(value->get_uint64());
  throw ServiceError{400, "Field '" + std::string(key) + "' must be an integer"};
}

bool BoolMember(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value) return false;
  if (!value->is_bool()) throw ServiceError{400, "Field '" + std::string(key) + "' must be true or false"};
  return value->get_bool();
}

const json::object* ObjectMember(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value) return nullptr;
  if (!value->is_object()) throw ServiceError{400, "Field '" + std::string(key) + "' must be an object"};
  return &value->get_object();
}

const json::array* ArrayMember(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value) return nullptr;
  if (!value->is_array()) throw ServiceError{400, "Field '" + std::string(key) + "' must be an array"};
  return &value->get_array();
}

std::vector<double> Numbers(const json::array& items, std::string_view key) {
  std::vector<double> numbers;
  numbers.reserve(items.size());
  for (const json::value& item : items) {
    if (!item.is_number()) throw ServiceError{400, "Field '" + std::string(key) + "' must hold numbers only"};
    numbers.push_back(item.to_number<double>());
  }
  return numbers;
}

std::optional<std::vector<double>> NumbersMember(const json::object& object, std::string_view key) {
  const json::array* items = ArrayMember(object, key);
  if (!items) return std::nullopt;
  return Numbers(*items, key);
}

std::optional<SparseValues> SparseMember(const json::object& object, std::string_view key) {
  const json::object* sparse = ObjectMember(object, key);
  if (!sparse) return std::nullopt;
  SparseValues result;
  if (const json::array* indices = ArrayMember(*sparse, "indices")) {
    for (const json::value& index : *indices) {
      if (!index.is_int64() && !index.is_uint64()) throw ServiceError{400, "Sparse indices must be integers"};
      result.indices.push_back(index.to_number<int64_t>());
    }
  }
  if (auto values = NumbersMember(*sparse, "values")) result.values = std::move(*values);
  if (result.indices.size() != result.values.size()) {
    throw ServiceError{400, "Sparse vector indices and values must have the same length"};
  }
  return result;
}

void CheckDimension(const Index& index, const std::vector<double>& values) {
  if (static_cast<int64_t>(values.size()) != index.config.dimension) {
    throw ServiceError{400, "Vector dimension " + std::to_string(values.size()) + " does not match the dimension of the index " +
                                std::to_string(index.config.dimension)};
  }
}

// Index and collection names: lower-case letters, digits and "-", 1 to 45 long.
void CheckName(const std::string& name, const char* what) {
  const bool ok = !name.empty() && name.size() <= 45 && name.front() != '-' && name.back() != '-' &&
                  std::all_of(name.begin(), name.end(), [](char c) {
                    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
                  });
  if (!ok) {
    throw ServiceError{400, std::string(what) + " name '" + name +
                                "' must consist of lower case alphanumeric characters or '-', and be at most 45 long"};
  }
}

// "key=value&key=value" with percent-decoded keys and values.
std::vector<std::pair<std::string, std::string>> QueryParameters(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> parameters;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    std::string_view part = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (part.empty()) continue;
    const size_t eq = part.find('=');
    parameters.emplace_back(PercentDecode(part.substr(0, eq), false),
                            eq == std::string_view::npos ? std::string{} : PercentDecode(part.substr(eq + 1), false));
  }
  return parameters;
}

namespace {
constexpr std::string_view kDefaultNamespace = "__default__";
}  // namespace

std::string StoredNamespace(std::string name) { return name == kDefaultNamespace ? std::string() : name; }

std::string ShownNamespace(const std::string& name, bool current_api) {
  return name.empty() && current_api ? std::string(kDefaultNamespace) : name;
}

}  // namespace zor::pinecone_local
