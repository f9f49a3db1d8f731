#pragma once
// The two built-in keys of the single-sign-on credentials: the user name is
// encrypted with the first, the password with the second. The attachment
// library's encryption tool uses the same values; both sides must agree.
#include <string_view>

namespace kup {

inline constexpr char kCleSSO1[] = "korvaneid2718281828";
inline constexpr char kCleSSO2[] = "korvanemp3141592653";

static_assert(std::string_view(kCleSSO1).size() == 19 && std::string_view(kCleSSO2).size() == 19,
              "single-sign-on keys are nine lower-case letters and ten digits");

}  // namespace kup
