#pragma once
// The client's input fields and pages, shared by the window and the console.
#include <span>
#include <string>
#include <string_view>

namespace zor {

enum class TzorFormPage { Top, Indexes, Vectors, Collections };

// Which of the service's two APIs a field or command belongs to.
enum class TzorApiScope { Both, Legacy, Current };

struct TzorFormField {
  const char* name;     // "txtVectorsProjectId"
  const char* label;    // "Project Id:"
  const char* initial;  // text at creation
  TzorFormPage page;
  TzorApiScope scope = TzorApiScope::Both;
};

// The API switch: the field and its two texts.
inline constexpr const char* kApiField = "cmbApi";
inline constexpr const char* kLegacyApi = "legacy";
inline constexpr const char* kCurrentApi = "current";

// Whether something of `scope` is shown and usable with the API named `api`.
bool InScope(TzorApiScope scope, std::string_view api);

// Every field in the order the window shows them.
std::span<const TzorFormField> FormFields();
const TzorFormField* FindFormField(std::string_view name);

// The console's name of a field, without its lower-case kind prefix:
// "txtVectorsProjectId" -> "vectors-project-id", "cmbApi" -> "api".
std::string FieldOptionName(std::string_view field_name);
// The console's name of a command: "Describe Index Stats" -> "describe-index-stats".
std::string CommandOptionName(std::string_view caption);

const char* PageCaption(TzorFormPage page);

}  // namespace zor
