#include "json/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "json/json.h"

namespace zor {
namespace {

TEST(DoubleText, ExamplesOfTheRenderingRule) {
  EXPECT_EQ(DoubleToJSONText(0.1), "0.1");
  EXPECT_EQ(DoubleToJSONText(100), "100");
  EXPECT_EQ(DoubleToJSONText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(DoubleToJSONText(0.0001), "0.0001");
  EXPECT_EQ(DoubleToJSONText(0.00001), "1E-5");
  EXPECT_EQ(DoubleToJSONText(999999999999999.0), "999999999999999");
  EXPECT_EQ(DoubleToJSONText(1e15), "1E15");
  EXPECT_EQ(DoubleToJSONText(2.5e-7), "2.5E-7");
}

TEST(DoubleText, SignsZeroAndExtremes) {
  EXPECT_EQ(DoubleToJSONText(0.0), "0");
  EXPECT_EQ(DoubleToJSONText(-0.0), "0");
  EXPECT_EQ(DoubleToJSONText(-0.5), "-0.5");
  EXPECT_EQ(DoubleToJSONText(-2.0 / 3.0), "-0.666666666666667");
  EXPECT_EQ(DoubleToJSONText(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(DoubleToJSONText(1e100), "1E100");
  EXPECT_EQ(DoubleToJSONText(std::numeric_limits<double>::max()), "1.79769313486232E308");
  EXPECT_EQ(DoubleToJSONText(-std::numeric_limits<double>::denorm_min()), "-4.94065645841247E-324");
  EXPECT_EQ(DoubleToJSONText(std::numeric_limits<double>::min()), "2.2250738585072E-308");
  EXPECT_EQ(DoubleToJSONText(1e-20), "1E-20");
}

TEST(DoubleText, NotationFollowsTheRoundedMagnitude) {
  // Rounding carries into a new leading digit before the notation is chosen.
  EXPECT_EQ(DoubleToJSONText(999999999999999.9), "1E15");
  EXPECT_EQ(DoubleToJSONText(9.99999999999999999e-5), "0.0001");
  EXPECT_EQ(DoubleToJSONText(0.000099999999999994), "9.9999999999994E-5");
  EXPECT_EQ(DoubleToJSONText(9.999999999999998), "10");
  EXPECT_EQ(DoubleToJSONText(123456.7890123456), "123456.789012346");
  EXPECT_EQ(DoubleToJSONText(1234567890.5), "1234567890.5");
  EXPECT_EQ(DoubleToJSONText(1e14), "100000000000000");
}

TEST(DoubleText, HalvesRoundAwayFromZero) {
  // 1 + 2^-15 is exactly 1.000030517578125: sixteen digits ending in 5.
  EXPECT_EQ(DoubleToJSONText(1.000030517578125), "1.00003051757813");
  EXPECT_EQ(DoubleToJSONText(-1.000030517578125), "-1.00003051757813");
  // 2^50 + 1 = 1125899906842625, exact and beyond the everyday range.
  EXPECT_EQ(DoubleToJSONText(1125899906842625.0), "1.12589990684263E15");
}

TEST(DoubleText, NotFiniteIsNull) {
  EXPECT_EQ(DoubleToJSONText(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(DoubleToJSONText(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(DoubleToJSONText(-std::numeric_limits<double>::infinity()), "null");
}

// The 15-digit rounding of v (halves away from zero) from the C library's
// exact-enough expansion, as a decimal text the C library can read back.
std::string ReferenceRounding(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.40e", std::fabs(v));
  std::string digits(1, text[0]);
  digits.append(text + 2, 14);
  int exponent = std::atoi(std::strchr(text, 'e') + 1);
  if (text[16] >= '5') {
    int i = 14;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    } else {
      ++digits[i];
    }
  }
  return (v < 0 ? "-" : "") + digits.substr(0, 1) + "." + digits.substr(1) + "e" + std::to_string(exponent);
}

void ExpectRenderedLikeReference(double v) {
  std::string ours = DoubleToJSONText(v);
  SCOPED_TRACE(ReferenceRounding(v) + " rendered as " + ours);
  ASSERT_EQ(std::strtod(ours.c_str(), nullptr), std::strtod(ReferenceRounding(v).c_str(), nullptr));
  // The form: no "+", no leading zeros in the exponent, no trailing zeros.
  double magnitude = std::fabs(std::strtod(ours.c_str(), nullptr));
  size_t mark = ours.find('E');
  EXPECT_EQ(mark == std::string::npos, magnitude >= 1e-4 && magnitude < 1e15);
  std::string mantissa = ours.substr(0, mark);
  if (mantissa.find('.') != std::string::npos) {
    EXPECT_NE(mantissa.back(), '0');
  }
  if (mark != std::string::npos) {
    std::string exponent = ours.substr(mark + 1);
    if (exponent[0] == '-') exponent.erase(0, 1);
    EXPECT_NE(exponent[0], '0');
    EXPECT_EQ(exponent.find('+'), std::string::npos);
  }
}

TEST(DoubleText, MatchesAnIndependentRoundingAcrossTheRange) {
  std::mt19937_64 random(20230601);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponents(-80, 140);
  for (int i = 0; i < 12000; ++i) {
    ExpectRenderedLikeReference(unit(random));                                    // embeddings
    ExpectRenderedLikeReference(std::ldexp(unit(random), exponents(random)));    // everyday magnitudes
    double any = std::bit_cast<double>(random());
    if (std::isfinite(any)) ExpectRenderedLikeReference(any);                     // everything else
    if (HasFatalFailure()) return;
  }
}

TEST(DoubleText, IntegersInDecimal) {
  std::string text;
  AppendIntegerText(text, std::numeric_limits<int64_t>::min());
  text += ' ';
  AppendIntegerText(text, 0);
  text += ' ';
  AppendIntegerText(text, 2147483647);
  EXPECT_EQ(text, "-9223372036854775808 0 2147483647");
}

// Switches the process to a decimal-comma locale for one test.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    FPrevious = previous ? previous : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_ALL, name)) {
        FActive = true;
        return;
      }
    }
  }
  ~DecimalCommaLocale() { std::setlocale(LC_ALL, FPrevious.c_str()); }
  bool Active() const { return FActive; }

 private:
  std::string FPrevious;
  bool FActive = false;
};

TEST(DoubleText, IndependentOfADecimalCommaLocale) {
  DecimalCommaLocale locale;
  if (!locale.Active()) GTEST_SKIP() << "no decimal-comma locale installed";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the locale does not use a decimal comma";

  TzorJSON document;
  document.AddPair("x", 1.5);
  document.AddPair("y", 2.5e-7);
  document.AddPair("z", std::string_view("3,25"))->SetJSONType(zorJSONNumber);
  EXPECT_EQ(document.Text(), R"({"x":1.5,"y":2.5E-7,"z":3.25})");
}

}  // namespace
}  // namespace zor
