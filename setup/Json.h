#pragma once
// Just enough JSON for the machine-readable output of both programs (the command line's JSON and
// the upload log): strings escaped as JSON wants, numbers as they stand, objects and arrays built
// in order.

#include <string>
#include <utility>
#include <vector>

namespace ksr::json {

// A JSON string literal of UTF-8 text (control characters escaped).
std::string Str(const std::string& text);
// A finite number with up to `decimals` places, or null when not finite.
std::string Num(double value, int decimals = 6);
// {"k": v, ...} from already-encoded values.
std::string Object(const std::vector<std::pair<std::string, std::string>>& members);
// [v, ...] from already-encoded values.
std::string Array(const std::vector<std::string>& items);
// A string, or null when it is empty.
std::string StrOrNull(const std::string& text);

}  // namespace ksr::json
