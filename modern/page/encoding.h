// Page text as UTF-8: valid UTF-8 stays as it is; anything else is decoded from the 8-bit
// code page that a folder on its path names, or that its letters suggest.
#pragma once

#include <string>
#include <string_view>

// Writes the text of `bytes` as UTF-8 into `out` (replacing what it held). `source_path` is
// the page's path relative to the input folder, folders separated by backslashes
// ("ru.KOI8-R\man1\ls.1"). Rules, in order:
// - valid UTF-8 (after a UTF-8 byte-order mark, which is dropped) is copied unchanged;
// - otherwise the code page named by the nearest folder of the path that names one:
//   the part after the last '.' of a folder name, compared without regard to case and
//   to '-' and '_': KOI8-R, KOI8-U, ISO8859-1 ... ISO8859-16 (also ISO-8859-N, ISO_8859-N,
//   iso88591), CP1250, CP1251, CP1252 (also windows-125N), CP866, UTF-8 (a page that is not
//   valid UTF-8 in a UTF-8 folder is then decoded as below, as if no folder named one);
// - otherwise, when its letters look Cyrillic, KOI8-R or windows-1251, whichever its
//   letter statistics favour;
// - otherwise windows-1252.
// Bytes that the code page leaves undefined, and C1 control characters (U+0080-U+009F),
// become U+FFFD. ASCII bytes are copied unchanged (control characters too: the caller
// deals with them).
void to_utf8(std::string_view bytes, std::string_view source_path, std::string& out);
// The same, in place: text that is UTF-8 already is not copied.
void to_utf8(std::string& text, std::string_view source_path);

// Whether `bytes` is valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);
