#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 helpers. Positions and lengths count characters (code points). A byte that does not
// start a well-formed sequence counts as one character and decodes to U+FFFD.
namespace quillon {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
// The longest line either program reads from an input, counted in bytes as read (before any
// conversion), line end not counted: memory stays bounded whatever arrives.
inline constexpr std::size_t kMaxLineBytes = std::size_t{128} << 20;

std::u32string DecodeUtf8(std::string_view text);
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
// How much of the start of a text decides whether it is UTF-16 without a byte-order mark.
inline constexpr std::size_t kEncodingHeadBytes = 64 * 1024;
// How the bytes of a text file or stream are written. A UTF-16 byte-order mark means UTF-16, and
// so do first bytes that LooksLikeUtf16; a UTF-8 mark is dropped and the bytes after it decide, as
// for a file without one: UTF-8 when they are valid UTF-8, else Windows-1252.
enum class TextEncoding { Utf8, Windows1252, Utf16LE, Utf16BE };
struct EncodingDecision {
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t markBytes = 0; // the byte-order mark's length, 0 when there is none
};
// How many bytes at the end of `text` start a sequence that is not yet whole: a lead byte and fewer
// continuation bytes than it announces. 0 when the text ends in a whole character or in ASCII.
std::size_t Utf8OpenTail(std::string_view text);
// `complete` is false when `bytes` is only the start of the text: a sequence cut off at its end
// then still counts as UTF-8.
EncodingDecision DecideEncoding(std::string_view bytes, bool complete = true);
// Whether a text without a byte-order mark reads as UTF-16, judged on its first kEncodingHeadBytes
// bytes: each pair of them is one NUL and one other byte, the NUL always on the same side, as ASCII
// and Latin-1 written in UTF-16 are. Needs at least two characters' worth of bytes; an odd last
// byte is not looked at. Big-endian when the text starts with NUL.
bool LooksLikeUtf16(std::string_view text);
// Whether bytes that follow `start` could still make LooksLikeUtf16 true: every whole pair of it
// has its NUL on the side that the first pair has it (so always for fewer than two bytes).
bool MayLookLikeUtf16(std::string_view start);
// UTF-16 bytes (without their mark) to UTF-8; an unpaired surrogate or an odd last byte becomes
// U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
// The same, appended to `out`.
void AppendUtf16AsUtf8(std::string& out, std::string_view bytes, bool bigEndian);
// The text as UTF-8 by DecideEncoding's rule, its mark dropped.
std::string DecodeText(std::string bytes);
// The name of an encoding as messages give it ("UTF-16 LE").
std::string_view EncodingName(TextEncoding encoding);

// Byte length of the well-formed UTF-8 sequence at `pos`, or 0 when the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

} // namespace quillon
