#pragma once
// The client's input fields and pages, shared by the window and the console.
#include <span>
#include <string>
#include <string_view>

namespace zor {

enum class TzorFormPage { Top, Indexes, Vectors, Collections };

struct TzorFormField {
  const char* name;     // "txtVectorsProjectId"
  const char* label;    // "Project Id:"
  const char* initial;  // text at creation
  TzorFormPage page;
};

// Every field in the order the window shows them.
std::span<const TzorFormField> FormFields();
const TzorFormField* FindFormField(std::string_view name);

// The console's name of a field: "txtVectorsProjectId" -> "vectors-project-id".
std::string FieldOptionName(std::string_view field_name);
// The console's name of a command: "Describe Index Stats" -> "describe-index-stats".
std::string CommandOptionName(std::string_view caption);

const char* PageCaption(TzorFormPage page);

}  // namespace zor
