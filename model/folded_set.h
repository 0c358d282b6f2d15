// A set of names told apart without regard to letter case, each numbered in the order it
// was first added: the HTML paths taken, the file names seen and the names links look up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Open addressing over a power of two of slots; a slot holds a name's hash in its high 32
// bits and its number + 1 in its low 32 bits, 0 when free. The names are kept in lower
// case, back to back in one string, so that a table of 100,000 names costs a few
// allocations rather than one or two per name.
class FoldedSet {
public:
    FoldedSet() : FoldedSet(0) {}
    explicit FoldedSet(size_t expected);

    // The number of `name`; a name not yet in the set gets the next number, and `added`
    // (when given) tells whether it did.
    uint32_t add(std::string_view name, bool* added = nullptr);
    // The number of `name`, or UINT32_MAX when the set does not hold it.
    uint32_t find(std::string_view name) const;
    uint32_t size() const { return static_cast<uint32_t>(ends_.size()); }

private:
    std::string_view name_of(uint32_t number) const;
    size_t probe(std::string_view name, uint32_t hash) const;

    std::vector<uint64_t> slots_;
    std::string names_;          // every name in lower case, in number order
    std::vector<uint32_t> ends_; // where each name ends in names_
};
