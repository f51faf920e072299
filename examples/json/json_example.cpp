// Builds a JSON document, writes it as compact text, then reads a text back
// and walks its members.
#include <zor/json/json.h>

#include <iostream>

int main() {
  zor::TzorJSON document;
  document.AddPair("name", "zor");
  document.AddPair("layers", 10);
  document.AddPair("stable", true);
  document.AddArray("tags", R"(["json", "http"])");
  document.AddObject("owner", R"({"team": "founders"})");
  std::cout << document.Text() << "\n";

  zor::TzorJSON answer;
  answer.Read(R"({"id": "v1", "score": 0.75, "values": [1, 2.5, 3]})");
  std::cout << "id " << answer.Node("id")->ValueText() << ", score " << answer.Node("score")->ValueText() << "\n";
  // Arrays and objects keep their content in a nested document.
  zor::IzorJSON values = answer.Node("values")->JSONObject();
  std::cout << "values";
  for (int i = 0; i < values->Count(); ++i) std::cout << " " << values->Item(i)->ValueText();
  std::cout << "\n";
  // A missing member is a null handle, not an exception.
  std::cout << "missing member: " << (answer.Node("nothing") ? "found" : "none") << "\n";
}
