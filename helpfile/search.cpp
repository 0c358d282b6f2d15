// The full-text search index: leaf nodes of words in byte order, each word's topics and
// locations in a bit stream of its own beside them, index nodes above the leaves.
#include "helpfile/search.h"

#include <algorithm>
#include <array>

#include "driver/parallel.h"
#include "helpfile/container.h"

namespace {

constexpr size_t kNode = 4096;
constexpr size_t kHeader = 1024;
constexpr size_t kLeafHead = 8;   // the next leaf, a zero word, the free bytes
constexpr size_t kIndexHead = 2;  // the free bytes
constexpr size_t kBuckets = 256;  // words are gathered by their first byte
constexpr unsigned kMaxRoot = 15;

// How often each bit length (0 to 32) comes up in one field of the location codes.
using Lengths = std::array<uint64_t, 33>;

unsigned bit_length(uint32_t value) { return value == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(value)); }

// Bits most significant first into bytes.
class BitStream {
public:
    explicit BitStream(std::string& out) : out_(out) {}
    // At most 32 bits at a time.
    void put(unsigned count, uint64_t value) {
        buffer_ = (buffer_ << count) | (value & ((uint64_t{1} << count) - 1));
        filled_ += count;
        while (filled_ >= 8) {
            filled_ -= 8;
            out_.push_back(static_cast<char>((buffer_ >> filled_) & 0xFF));
        }
    }
    void put_ones(unsigned count) { put(count, ~uint64_t{0}); }
    void pad() {
        if (filled_ != 0) put(8 - filled_, 0);
    }

private:
    std::string& out_;
    uint64_t buffer_ = 0;
    unsigned filled_ = 0;
};

// The scale-and-root code of `value` with root size `root` (scale 2): a value of at most
// `root` bits is a zero and those bits; a longer one is a one for each bit beyond the
// root, a zero, and its bits below the top one.
void put_sr(BitStream& bits, uint32_t value, unsigned root) {
    unsigned n = bit_length(value);
    if (n <= root) {
        bits.put(1, 0);
        bits.put(root, value);
        return;
    }
    bits.put_ones(n - root);
    bits.put(1, 0);
    bits.put(n - 1, value);
}

// The root size that codes the values of these lengths in the fewest bits.
unsigned best_root(const Lengths& lengths) {
    unsigned best = 0;
    uint64_t fewest = UINT64_MAX;
    for (unsigned root = 0; root <= kMaxRoot; ++root) {
        uint64_t total = 0;
        for (unsigned n = 0; n < lengths.size(); ++n) total += lengths[n] * (n <= root ? 1 + root : 2 * n - root);
        if (total < fewest) {
            fewest = total;
            best = root;
        }
    }
    return best;
}

// The low-group-first number of the leaves: 7 bits a byte, the top bit set on all but
// the last.
void put_varint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

size_t varint_size(uint64_t value) {
    size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

// A term of one topic, and the next ref of the same word and kind.
struct Ref {
    uint32_t topic;
    uint32_t term;
    uint32_t next;
};
constexpr uint32_t kNoRef = UINT32_MAX;

// A word's occurrences in titles or in bodies: its refs, in topic order, linked from the
// first, and where its location codes lie in the bucket's.
struct Entry {
    uint32_t first, last;
    uint32_t documents;
    uint64_t hash;
    uint32_t wlc_start = 0, wlc_size = 0;
};

struct Bucket {
    std::vector<Ref> refs;
    std::vector<Entry> entries;  // sorted by word, a body entry before a title entry
    std::string wlc;
    Lengths documents{}, counts{}, locations{};
};

struct Roots {
    unsigned documents, counts, locations;
};

std::string_view term_of(const std::vector<PageTerms>& topics, const Ref& ref) { return topics[ref.topic].term(ref.term); }

// The locations of a ref's term in its topic.
std::pair<uint32_t, uint32_t> locations_of(const std::vector<PageTerms>& topics, const Ref& ref) {
    const PageTerms& page = topics[ref.topic];
    return {ref.term == 0 ? 0 : page.terms[ref.term - 1].locations_end, page.terms[ref.term].locations_end};
}

// The refs of every word that begins with the byte `first`, each word's in one entry
// (found through a table of their hashes), the entries sorted, with the bit lengths of
// what their codes will hold.
void gather(const std::vector<PageTerms>& topics, uint8_t first, Bucket& bucket) {
    std::vector<uint32_t> slots(1024, kNoRef);
    auto grow = [&]() {
        std::vector<uint32_t> bigger(slots.size() * 2, kNoRef);
        for (uint32_t e = 0; e < bucket.entries.size(); ++e) {
            size_t at = static_cast<size_t>(bucket.entries[e].hash) & (bigger.size() - 1);
            while (bigger[at] != kNoRef) at = (at + 1) & (bigger.size() - 1);
            bigger[at] = e;
        }
        slots.swap(bigger);
    };
    for (uint32_t t = 0; t < topics.size(); ++t) {
        const PageTerms& page = topics[t];
        size_t n = page.terms.size();
        auto first_byte = [&](size_t k) { return static_cast<uint8_t>(page.text[k == 0 ? 0 : page.terms[k - 1].text_end]); };
        size_t low = 0, high = n;
        while (low < high) {
            size_t mid = (low + high) / 2;
            if (first_byte(mid) < first) low = mid + 1;
            else high = mid;
        }
        for (size_t k = low; k < n && first_byte(k) == first; ++k) {
            std::string_view word = page.term(k);
            bool title = page.terms[k].title;
            uint64_t h = term_hash(word, title);
            size_t at = static_cast<size_t>(h) & (slots.size() - 1);
            while (slots[at] != kNoRef) {
                const Entry& e = bucket.entries[slots[at]];
                const Ref& ref = bucket.refs[e.first];
                if (e.hash == h && topics[ref.topic].terms[ref.term].title == title && term_of(topics, ref) == word) break;
                at = (at + 1) & (slots.size() - 1);
            }
            uint32_t ref = static_cast<uint32_t>(bucket.refs.size());
            bucket.refs.push_back({t, static_cast<uint32_t>(k), kNoRef});
            if (slots[at] == kNoRef) {
                slots[at] = static_cast<uint32_t>(bucket.entries.size());
                bucket.entries.push_back({ref, ref, 1, h});
                if (bucket.entries.size() * 2 > slots.size()) grow();
            } else {
                Entry& e = bucket.entries[slots[at]];
                bucket.refs[e.last].next = ref;
                e.last = ref;
                ++e.documents;
            }
        }
    }
    std::sort(bucket.entries.begin(), bucket.entries.end(), [&](const Entry& a, const Entry& b) {
        const Ref& x = bucket.refs[a.first];
        const Ref& y = bucket.refs[b.first];
        int order = term_of(topics, x).compare(term_of(topics, y));
        if (order != 0) return order < 0;
        return !topics[x.topic].terms[x.term].title && topics[y.topic].terms[y.term].title;
    });
    for (const Entry& entry : bucket.entries) {
        uint32_t previous_topic = 0;
        for (uint32_t r = entry.first; r != kNoRef; r = bucket.refs[r].next) {
            const Ref& ref = bucket.refs[r];
            ++bucket.documents[bit_length(ref.topic - previous_topic)];
            previous_topic = ref.topic;
            auto [start, stop] = locations_of(topics, ref);
            ++bucket.counts[bit_length(stop - start)];
            const std::vector<uint32_t>& at = topics[ref.topic].locations;
            uint32_t previous = 0;
            for (uint32_t l = start; l < stop; ++l) {
                ++bucket.locations[bit_length(at[l] - previous)];
                previous = at[l];
            }
        }
    }
}

// Each entry's topics and locations as a byte-aligned bit stream.
void encode(const std::vector<PageTerms>& topics, const Roots& roots, Bucket& bucket) {
    BitStream bits(bucket.wlc);
    for (Entry& entry : bucket.entries) {
        entry.wlc_start = static_cast<uint32_t>(bucket.wlc.size());
        uint32_t previous_topic = 0;
        for (uint32_t r = entry.first; r != kNoRef; r = bucket.refs[r].next) {
            const Ref& ref = bucket.refs[r];
            put_sr(bits, ref.topic - previous_topic, roots.documents);
            previous_topic = ref.topic;
            auto [start, stop] = locations_of(topics, ref);
            put_sr(bits, stop - start, roots.counts);
            const std::vector<uint32_t>& at = topics[ref.topic].locations;
            uint32_t previous = 0;
            for (uint32_t l = start; l < stop; ++l) {
                put_sr(bits, at[l] - previous, roots.locations);
                previous = at[l];
            }
            bits.pad();
        }
        entry.wlc_size = static_cast<uint32_t>(bucket.wlc.size()) - entry.wlc_start;
    }
}

size_t common_prefix(std::string_view a, std::string_view b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n] && n < 255) ++n;
    return n;
}

void set_le(std::string& out, size_t at, uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A node's last word and where the node lies, for the level above.
struct Child {
    std::string last;
    uint32_t offset;
};

// Writes the index nodes above `level` until one node is left; returns its offset.
uint32_t write_index_levels(std::string& out, std::vector<Child> level, uint16_t& depth) {
    while (level.size() > 1) {
        std::vector<Child> above;
        std::string node;
        std::string previous;
        auto close = [&]() {
            uint32_t offset = static_cast<uint32_t>(out.size());
            std::string head;
            chm::put_le(head, kNode - kIndexHead - node.size(), 2);
            out += head;
            out += node;
            out.resize(offset + kNode, '\0');
            above.push_back({previous, offset});
            node.clear();
            previous.clear();
        };
        for (const Child& child : level) {
            size_t prefix = common_prefix(previous, child.last);
            size_t size = 2 + child.last.size() - prefix + 4 + 2;
            if (!node.empty() && kIndexHead + node.size() + size > kNode) {
                close();
                prefix = 0;
            }
            node.push_back(static_cast<char>(child.last.size() - prefix + 1));
            node.push_back(static_cast<char>(prefix));
            node.append(child.last, prefix, std::string::npos);
            chm::put_le(node, child.offset, 4);
            chm::put_le(node, 0, 2);
            previous = child.last;
        }
        close();
        level = std::move(above);
        ++depth;
    }
    return level.front().offset;
}

// Leaf nodes filled with entries in word order: each word's part after what it shares
// with the word before in its node, its kind, how many topics it is in, and where its
// location codes lie, which go just before the leaf.
struct Leaves {
    std::string& out;
    std::vector<Child> children;   // each leaf's last word and where it lies
    size_t last_leaf = SIZE_MAX;
    uint32_t distinct = 0, longest = 0;
    uint64_t distinct_length = 0;
    std::string node, codes, previous;
    std::vector<std::pair<size_t, uint32_t>> code_offsets;  // in the node, in `codes`
    std::string_view last_word;                            // the word before, across leaves

    explicit Leaves(std::string& into) : out(into) {}

    void add(std::string_view word, bool title, size_t documents, std::string_view wlc) {
        size_t prefix = common_prefix(previous, word);
        size_t size = 2 + word.size() - prefix + 1 + varint_size(documents) + 4 + 2 + varint_size(wlc.size());
        if (!node.empty() && kLeafHead + node.size() + size > kNode) {
            close();
            prefix = 0;
        }
        if (!title || last_word != word) {
            ++distinct;
            distinct_length += word.size();
            longest = std::max(longest, static_cast<uint32_t>(word.size()));
        }
        node.push_back(static_cast<char>(word.size() - prefix + 1));
        node.push_back(static_cast<char>(prefix));
        node.append(word.substr(prefix));
        node.push_back(title ? 1 : 0);
        put_varint(node, documents);
        code_offsets.push_back({node.size(), static_cast<uint32_t>(codes.size())});
        chm::put_le(node, 0, 4);
        chm::put_le(node, 0, 2);
        put_varint(node, wlc.size());
        codes += wlc;
        previous.assign(word);
        last_word = word;
    }

    // Puts the codes and the leaf, linked from the leaf before.
    void close() {
        uint32_t codes_at = static_cast<uint32_t>(out.size());
        out += codes;
        uint32_t offset = static_cast<uint32_t>(out.size());
        for (const auto& [at, within] : code_offsets) set_le(node, at, codes_at + within, 4);
        std::string head;
        chm::put_le(head, 0, 4);
        chm::put_le(head, 0, 2);
        chm::put_le(head, kNode - kLeafHead - node.size(), 2);
        out += head;
        out += node;
        out.resize(offset + kNode, '\0');
        if (last_leaf != SIZE_MAX) set_le(out, last_leaf, offset, 4);
        last_leaf = offset;
        children.push_back({previous, offset});
        node.clear();
        codes.clear();
        code_offsets.clear();
        previous.clear();
    }
};

}  // namespace

std::string search_index(const std::vector<PageTerms>& topics, const HelpLanguage& language, unsigned jobs) {
    std::vector<Bucket> buckets(kBuckets);
    for_each_in_order(static_cast<uint32_t>(kBuckets), jobs,
                      [&](uint32_t b, unsigned) { gather(topics, static_cast<uint8_t>(b), buckets[b]); });
    Lengths documents{}, counts{}, locations{};
    for (const Bucket& bucket : buckets) {
        for (size_t n = 0; n < documents.size(); ++n) {
            documents[n] += bucket.documents[n];
            counts[n] += bucket.counts[n];
            locations[n] += bucket.locations[n];
        }
    }
    Roots roots{best_root(documents), best_root(counts), best_root(locations)};
    for_each_in_order(static_cast<uint32_t>(kBuckets), jobs,
                      [&](uint32_t b, unsigned) { encode(topics, roots, buckets[b]); });

    // The leaves in word order, each after the location codes of its entries.
    std::string out(kHeader, '\0');
    Leaves leaves(out);
    for (const Bucket& bucket : buckets) {
        for (const Entry& entry : bucket.entries) {
            const Ref& ref = bucket.refs[entry.first];
            leaves.add(term_of(topics, ref), topics[ref.topic].terms[ref.term].title, entry.documents,
                       std::string_view(bucket.wlc).substr(entry.wlc_start, entry.wlc_size));
        }
    }
    leaves.close();
    uint32_t unused_in_last = static_cast<uint32_t>(static_cast<unsigned char>(out[leaves.last_leaf + 6])) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(out[leaves.last_leaf + 7])) << 8);
    uint16_t depth = 1;
    uint32_t leaf_count = static_cast<uint32_t>(leaves.children.size());
    uint32_t root = write_index_levels(out, std::move(leaves.children), depth);

    uint64_t occurrences = 0, occurrence_length = 0;
    for (const PageTerms& page : topics) {
        occurrences += page.word_count;
        occurrence_length += page.word_bytes;
    }
    std::string head;
    head += std::string("\x00\x00\x28\x00", 4);
    chm::put_le(head, topics.size(), 4);
    chm::put_le(head, root, 4);
    chm::put_le(head, 0, 4);
    chm::put_le(head, leaf_count, 4);
    chm::put_le(head, root, 4);
    chm::put_le(head, depth, 2);
    chm::put_le(head, 7, 4);
    for (unsigned r : {roots.documents, roots.counts, roots.locations}) {
        head.push_back(2);  // the scale
        head.push_back(static_cast<char>(r));
    }
    head.append(10, '\0');
    chm::put_le(head, kNode, 4);
    chm::put_le(head, 0, 4);
    chm::put_le(head, 0, 4);
    chm::put_le(head, 0, 4);
    chm::put_le(head, leaves.longest, 4);
    chm::put_le(head, static_cast<uint32_t>(occurrences), 4);
    chm::put_le(head, leaves.distinct, 4);
    chm::put_le(head, occurrence_length, 8);
    chm::put_le(head, static_cast<uint32_t>(leaves.distinct_length), 4);
    chm::put_le(head, unused_in_last, 4);
    chm::put_le(head, 0, 4);
    chm::put_le(head, topics.empty() ? 0 : topics.size() - 1, 4);
    head.append(24, '\0');
    chm::put_le(head, language.code_page, 4);
    chm::put_le(head, language.lcid, 4);
    out.replace(0, head.size(), head);
    return out;
}
