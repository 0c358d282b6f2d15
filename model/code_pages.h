// The 8-bit code pages that pages are read in and help files are written in: the upper
// half (bytes 0x80-0xFF) of each as code points, the names folders give them, and the
// languages whose 8-bit pages are in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Bytes a code page leaves undefined, and those that stand for C1 control characters, are
// U+FFFD in these tables, so decoding is a plain look-up. No byte of an upper half is ASCII.
extern const uint16_t kKoi8R[128];
extern const uint16_t kKoi8U[128];
extern const uint16_t kCp1250[128];
extern const uint16_t kCp1251[128];
extern const uint16_t kCp1252[128];
extern const uint16_t kCp866[128];

// A code page name as it is compared: lower case, without '-' and '_'. A row without a
// table is UTF-8.
struct CodePageName {
    std::string_view name;
    const uint16_t* upper;
};

extern const CodePageName kCodePageNames[];
extern const size_t kCodePageNameCount;

// The code page of a language's 8-bit pages; with a second one, the one of the two that
// a page's letters favour.
struct LanguageCodePage {
    std::string_view language;  // "pl", as language_code gives it
    const uint16_t* upper;
    const uint16_t* other;      // or null
};

extern const LanguageCodePage kLanguageCodePages[];
extern const size_t kLanguageCodePageCount;
