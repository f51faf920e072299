#pragma once
// Reading the members of request bodies and query strings: each reader fails
// with ServiceError 400 naming the field when a value has the wrong type.
#include <boost/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/pinecone-local/local_store.h"

namespace zor::pinecone_local {

// The largest dimension an index may have.
inline constexpr int64_t kMaxDimension = 20000;

boost::json::object ParseObject(const std::string& body);
std::string StringMember(const boost::json::object& object, std::string_view key, bool required = false);
std::optional<int64_t> IntegerMember(const boost::json::object& object, std::string_view key);
bool BoolMember(const boost::json::object& object, std::string_view key);
const boost::json::object* ObjectMember(const boost::json::object& object, std::string_view key);
const boost::json::array* ArrayMember(const boost::json::object& object, std::string_view key);
std::vector<double> Numbers(const boost::json::array& items, std::string_view key);
std::optional<std::vector<double>> NumbersMember(const boost::json::object& object, std::string_view key);
std::optional<SparseValues> SparseMember(const boost::json::object& object, std::string_view key);

// Values must have the index's dimension.
void CheckDimension(const Index& index, const std::vector<double>& values);
// Index and collection names: lower-case letters, digits and "-", 1 to 45 long.
void CheckName(const std::string& name, const char* what);

// The default namespace is "" to the legacy API and "__default__" to the
// current one; it is kept as "" and shown as the caller's API names it.
std::string StoredNamespace(std::string name);
std::string ShownNamespace(const std::string& name, bool current_api);

// "key=value&key=value" with percent-decoded keys and values.
std::vector<std::pair<std::string, std::string>> QueryParameters(std::string_view query);

}  // namespace zor::pinecone_local
