#include "model/folded_set.h"

#include "model/letters.h"

namespace {

uint32_t folded_hash(std::string_view name) {
    // FNV-1a of the letters in lower case.
    uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(lower_case(c));
        hash *= 16777619u;
    }
    return hash;
}

size_t slot_count(size_t names) {
    size_t size = 16;
    while (size < 2 * names) size *= 2;
    return size;
}

}  // namespace

FoldedSet::FoldedSet(size_t expected) : slots_(slot_count(expected), 0) { ends_.reserve(expected); }

std::string_view FoldedSet::name_of(uint32_t number) const {
    uint32_t begin = number == 0 ? 0 : ends_[number - 1];
    return std::string_view(names_).substr(begin, ends_[number] - begin);
}

size_t FoldedSet::probe(std::string_view name, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        uint64_t slot = slots_[s];
        if (slot == 0) return s;
        if (slot >> 32 == hash && same_letters(name_of(static_cast<uint32_t>(slot) - 1), name)) return s;
    }
}

uint32_t FoldedSet::find(std::string_view name) const {
    uint64_t slot = slots_[probe(name, folded_hash(name))];
    return slot == 0 ? UINT32_MAX : static_cast<uint32_t>(slot) - 1;
}

uint32_t FoldedSet::add(std::string_view name, bool* added) {
    uint32_t hash = folded_hash(name);
    size_t s = probe(name, hash);
    if (added != nullptr) *added = slots_[s] == 0;
    if (slots_[s] != 0) return static_cast<uint32_t>(slots_[s]) - 1;
    uint32_t number = size();
    size_t at = names_.size();
    names_.append(name);
    for (size_t i = at; i < names_.size(); ++i) names_[i] = lower_case(names_[i]);
    ends_.push_back(static_cast<uint32_t>(names_.size()));
    slots_[s] = uint64_t{hash} << 32 | (number + 1);
    if (2 * ends_.size() > slots_.size()) {
        // Half full: twice the slots, each name moved by the hash its slot keeps.
        std::vector<uint64_t> old(slot_count(ends_.size()), 0);
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (uint64_t slot : old) {
            if (slot == 0) continue;
            size_t t = static_cast<size_t>(slot >> 32) & mask;
            while (slots_[t] != 0) t = (t + 1) & mask;
            slots_[t] = slot;
        }
    }
    return number;
}
