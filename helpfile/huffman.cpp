// Length-limited Huffman codes.
#include "helpfile/huffman.h"

#include <algorithm>
#include <array>

namespace huffman {

namespace {

constexpr size_t kMaxSymbols = 512;

struct Leaf {
    uint32_t count;
    uint16_t symbol;
};

// The depth of each leaf of an ordinary Huffman tree over `leaves` (sorted by count, the
// rarest first), by the two-queue method: leaves and merged nodes each come out in
// increasing weight, so the two lightest are always at one of the two fronts.
void tree_depths(const Leaf* leaves, size_t n, uint16_t* depth) {
    std::array<uint64_t, kMaxSymbols> weight{};
    std::array<uint16_t, 2 * kMaxSymbols> parent{};
    size_t next_leaf = 0, next_node = 0, nodes = 0;
    auto take = [&]() -> size_t {  // the lighter front: a leaf (below n) or node n + k
        if (next_leaf < n && (next_node == nodes || leaves[next_leaf].count <= weight[next_node])) {
            return next_leaf++;
        }
        return n + next_node++;
    };
    auto weight_of = [&](size_t item) -> uint64_t { return item < n ? leaves[item].count : weight[item - n]; };
    for (size_t merged = 0; merged + 1 < n; ++merged) {
        size_t a = take(), b = take();
        weight[nodes] = weight_of(a) + weight_of(b);
        parent[a] = parent[b] = static_cast<uint16_t>(n + nodes);
        ++nodes;
    }
    // The root is the last node; a node's depth is its parent's plus one, and parents
    // come after their children.
    std::array<uint16_t, kMaxSymbols> node_depth{};
    for (size_t k = nodes - 1; k-- > 0;) node_depth[k] = static_cast<uint16_t>(node_depth[parent[n + k] - n] + 1);
    for (size_t i = 0; i < n; ++i) depth[i] = static_cast<uint16_t>(node_depth[parent[i] - n] + 1);
}

}  // namespace

void code_lengths(const uint32_t* counts, size_t n, unsigned limit, uint8_t* lengths) {
    std::array<Leaf, kMaxSymbols> leaves;
    size_t used = 0;
    for (size_t s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (counts[s] != 0) leaves[used++] = {counts[s], static_cast<uint16_t>(s)};
    }
    // A code needs two symbols: unused ones make up the number, as if seen once.
    for (size_t s = 0; used < 2 && s < n; ++s) {
        if (counts[s] == 0) leaves[used++] = {0, static_cast<uint16_t>(s)};
    }
    std::sort(leaves.begin(), leaves.begin() + used, [](const Leaf& a, const Leaf& b) {
        return a.count != b.count ? a.count < b.count : a.symbol < b.symbol;
    });
    std::array<uint16_t, kMaxSymbols> depth{};
    tree_depths(leaves.data(), used, depth.data());

    // How many leaves lie at each depth; leaves deeper than the limit are brought up two
    // at a time: two deepest leaves become one a level up, and a shallower leaf splits in
    // two a level down, which keeps the code space exactly full.
    std::array<uint32_t, kMaxSymbols + 1> at_depth{};
    size_t deepest = 0;
    for (size_t i = 0; i < used; ++i) {
        ++at_depth[depth[i]];
        deepest = std::max<size_t>(deepest, depth[i]);
    }
    for (size_t level = deepest; level > limit; --level) {
        while (at_depth[level] > 0) {
            size_t shallower = level - 2;
            while (at_depth[shallower] == 0) --shallower;
            at_depth[level] -= 2;
            at_depth[level - 1] += 1;
            at_depth[shallower + 1] += 2;
            at_depth[shallower] -= 1;
        }
    }
    // The shortest lengths go to the most frequent symbols.
    size_t level = 1;
    for (size_t i = used; i-- > 0;) {
        while (at_depth[level] == 0) ++level;
        --at_depth[level];
        lengths[leaves[i].symbol] = static_cast<uint8_t>(level);
    }
}

void canonical_codes(const uint8_t* lengths, size_t n, uint16_t* codes) {
    std::array<uint32_t, 18> first{};
    for (size_t s = 0; s < n; ++s) ++first[lengths[s]];
    first[0] = 0;
    uint32_t code = 0;
    std::array<uint32_t, 18> next{};
    for (size_t length = 1; length < next.size(); ++length) {
        code = (code + first[length - 1]) << 1;
        next[length] = code;
    }
    for (size_t s = 0; s < n; ++s) {
        codes[s] = lengths[s] == 0 ? 0 : static_cast<uint16_t>(next[lengths[s]]++);
    }
}

}  // namespace huffman
