#pragma once

#include <string>
#include <string_view>

namespace wavfx::cli {

// `text` as a JSON string, quotes included: quotes, backslashes and control characters escaped,
// and each byte that is not part of valid UTF-8 (a file name in another encoding) replaced by
// U+FFFD, so that the output stays valid JSON.
std::string JsonString(std::string_view text);

}  // namespace wavfx::cli
