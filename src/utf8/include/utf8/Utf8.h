#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 helpers. Positions and lengths count characters (code points). A byte that does not
// start a well-formed sequence counts as one character and decodes to U+FFFD.
namespace quillon {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t c);
bool IsValidUtf8(std::string_view bytes);
bool IsAscii(std::string_view bytes);

std::size_t Utf8Length(std::string_view text);
// The first `count` characters (fewer when the text is shorter).
std::string_view Utf8Left(std::string_view text, std::size_t count);
// `count` characters from the 0-based character index `start` (shorter or empty past the end).
std::string_view Utf8Mid(std::string_view text, std::size_t start, std::size_t count);

// Windows-1252 bytes to UTF-8; the five unassigned bytes map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view bytes);
// The size in bytes of Cp1252ToUtf8(bytes), without building it.
std::size_t Cp1252ToUtf8Size(std::string_view bytes);
// Byte length of the well-formed UTF-8 sequence at `pos`, or 0 when the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

} // namespace quillon
