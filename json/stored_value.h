#pragma once
// How a node keeps its value: the alternatives of the public value type, with
// texts of up to 30 bytes stored inline, so that reading or building arrays of
// numbers allocates nothing per element beyond the node itself.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace zor {

// A node's value. Values read from text are always text; values added by
// AddPair keep their type (Booleans become the text "true" or "false", a
// null the empty text).
using TzorJSONValue = std::variant<std::monostate, std::string, int32_t, int64_t, double, bool>;

// How a JSON node keeps its value.
class TzorJSONStoredValue {
 public:
  TzorJSONStoredValue() = default;
  explicit TzorJSONStoredValue(std::string_view aText) { SetText(aText); }

  void Set(TzorJSONValue aValue) {
    if (auto* text = std::get_if<std::string>(&aValue)) {
      SetText(*text);
    } else {
      std::visit([this](auto v) { FValue = v; }, std::move(aValue));
    }
  }
  void SetText(std::string_view aText) {
    if (aText.size() <= sizeof(ShortText::data)) {
      ShortText& shortText = FValue.emplace<ShortText>();
      shortText.size = static_cast<uint8_t>(aText.size());
      std::memcpy(shortText.data, aText.data(), aText.size());
    } else {
      FValue.emplace<std::string>(aText);
    }
  }

  // Calls f with std::monostate, std::string_view (texts), int32_t, int64_t,
  // double or bool.
  template <class F>
  decltype(auto) Visit(F&& f) const {
    return std::visit(
        [&](const auto& v) -> decltype(auto) {
          using V = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<V, ShortText>) {
            return f(std::string_view(v.data, v.size));
          } else if constexpr (std::is_same_v<V, std::string>) {
            return f(std::string_view(v));
          } else {
            return f(v);
          }
        },
        FValue);
  }

  // The double when the value is one (the common case of number arrays).
  const double* IfDouble() const { return std::get_if<double>(&FValue); }

  TzorJSONValue Get() const {
    return Visit([](const auto& v) -> TzorJSONValue {
      if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string_view>) {
        return std::string(v);
      } else {
        return v;
      }
    });
  }

 private:
  struct ShortText {
    uint8_t size;
    char data[30];
  };
  std::variant<std::monostate, std::string, int32_t, int64_t, double, bool, ShortText> FValue;
};

}  // namespace zor
