// Huffman codes as LZX sends them: code lengths no longer than a limit that fill the code
// space exactly (a reader rejects a tree with room left over or too little), and the
// canonical codes those lengths give.
#pragma once

#include <cstddef>
#include <cstdint>

namespace huffman {

// Sets lengths[0 .. n) from the symbols' counts: 0 for a symbol never used, else at most
// `limit` bits, shorter for the more frequent. At least two symbols get a length, so that
// the code is complete even where one symbol or none is used (the first unused symbols
// make up the pair). Ties go to the lower symbol, so the same counts give the same code.
// n is at most 512; 2^limit must exceed n.
void code_lengths(const uint32_t* counts, size_t n, unsigned limit, uint8_t* lengths);

// The canonical code of each symbol: shorter codes first, and within one length the
// symbols in order, each code one more than the one before.
void canonical_codes(const uint8_t* lengths, size_t n, uint16_t* codes);

}  // namespace huffman
