// Page text as UTF-8: valid UTF-8 stays as it is, and so do the well-formed sequences of a
// page that is UTF-8 but for a few stray bytes; anything else is decoded from the 8-bit
// code page that a folder on its path names, that of the language a folder names, or
// the one its letters suggest.
#pragma once

#include <string>
#include <string_view>

// Writes the text of `bytes` as UTF-8 into `out` (replacing what it held). `source_path` is
// the page's path relative to the input folder, folders separated by backslashes
// ("ru.KOI8-R\man1\ls.1"). A UTF-8 byte-order mark is dropped. Rules, in order:
// - valid UTF-8 is copied unchanged;
// - a page that opens with a byte-order mark, or holds at least as many well-formed
//   multi-byte sequences as stray bytes (high bytes that lead none), is UTF-8 with stray
//   bytes: its sequences are copied, each stray byte decoded alone by the code page below;
// - otherwise every high byte is decoded alone, by the code page below.
// The code page: the one named by the nearest folder of the path that names one: the part
// after the last '.' of a folder name, compared without regard to case and to '-' and '_':
// KOI8-R, KOI8-U, ISO8859-1 ... ISO8859-16 (also ISO-8859-N, ISO_8859-N, iso88591),
// CP1250, CP1251, CP1252 (also windows-125N), CP866. Else, the nearest folder that names
// a language ("pl", "pl_PL", "cs_CZ.UTF-8": UTF-8 names no 8-bit code page) gives that
// language's code page: ISO 8859-2 for bs, cs, hr, hu, pl, ro, sk, sl; ISO 8859-9 for tr;
// ISO 8859-7 for el; ISO 8859-13 for lt, lv; ISO 8859-8 for he; ISO 8859-11 for th;
// windows-1251 for be, bg; for ru KOI8-R and for uk KOI8-U, or windows-1251 if the
// letter statistics below favour it. A file name gives no language (CA.pl.1ssl is a Perl
// script's page). Else, when its letters look Cyrillic, KOI8-R or windows-1251, whichever
// its letter statistics favour; else windows-1252. The letters counted are those decoded
// by the code page: of a UTF-8 page, its stray bytes.
// Bytes that the code page leaves undefined, and C1 control characters (U+0080-U+009F),
// become U+FFFD. ASCII bytes are copied unchanged (control characters too: the caller
// deals with them).
void to_utf8(std::string_view bytes, std::string_view source_path, std::string& out);
// The same, in place: text that is UTF-8 already is not copied.
void to_utf8(std::string& text, std::string_view source_path);

// Whether `bytes` is valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);
