#pragma once
// Number layouts of the setup file and recorder.ini.

#include <string>
#include <string_view>
#include <vector>

namespace ksr::fmt {

// Decimal digits, "-" when negative.
std::string Free(long long value);
// Right-aligned in a field of `width` characters; wider numbers take more room.
std::string Width(long long value, int width);
// At least `digits` digits by leading zeros (one "0" for each power of ten below 10^(digits-1)
// that the value lies under), cut to `digits` characters: z2 and z3 of the file layouts.
std::string Zeros(long long value, int digits);
// The text cut to at most `count` characters.
std::string Cut(const std::string& text, std::size_t count);

// Upper-cases the letters a..z only; other bytes stay.
std::string UpperAscii(std::string text);
// Lower-cases the letters A..Z only; other bytes stay.
std::string LowerAscii(std::string text);

// The whole-number token rules of the readers: optional sign, decimal digits, fits 32 bits.
bool ParseInt(const std::string& token, int& value);

// A value as a message may echo it: at most 40 characters (then "..."), and control bytes shown
// as \xNN so that a message never carries a line break or a terminal command.
std::string Echo(const std::string& text);

// A file name as a message, a log or JSON shows it: whole, with control bytes, bytes from 0x80 up
// and the backslash as \xNN, so that it is plain ASCII whatever the name's encoding.
std::string EchoName(const std::string& name);

// A JSON string literal of UTF-8 text, control characters escaped.
std::string JsonString(const std::string& utf8);

// Latin-1 bytes to UTF-8, for showing texts on a terminal.
std::string Latin1ToUtf8(const std::string& text);

}  // namespace ksr::fmt

// The lines of a file's text.
namespace ksr {

// Splits text into lines. A line ends at LF; a CR right before it belongs to the line end.
// An empty text has no lines; a last line without line end still counts.
std::vector<std::string> SplitLines(const std::string& bytes);

// Joins lines, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// The values of the lines "KEY=value" among `lines`, in their order (a key given twice gives
// two values).
std::vector<std::string> KeyValues(const std::vector<std::string>& lines, std::string_view key);

}  // namespace ksr
