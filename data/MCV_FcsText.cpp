#include "data/MCV_FcsText.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

bool isPadding(char c) { return c == ' ' || c == '\0' || c == '\r' || c == '\n' || c == '\t'; }

bool isBlank(std::string_view s) {
    for (char c : s)
        if (!isPadding(c)) return false;
    return true;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes [begin, end) of a segment as stored, and the offset of the first
// doubled delimiter in them (escapes only), or kNone.
struct Token {
    size_t begin = 0;
    size_t end = 0;
    size_t firstDoubled = kNone;
};

// The tokens of a segment, one at a time, without copying them. With
// `escapes` a doubled delimiter belongs to the token; without, every
// delimiter ends one. Bytes after the last delimiter form a token unless they
// are blank.
class Tokens {
public:
    Tokens(const char* bytes, size_t size, bool escapes)
        : m_bytes(bytes), m_size(size), m_delimiter(bytes[0]), m_escapes(escapes) {}

    bool next(Token* t) {
        if (m_pos >= m_size) return false;
        t->begin = m_pos;
        t->firstDoubled = kNone;
        size_t from = m_pos;
        while (true) {
            const void* hit = std::memchr(m_bytes + from, m_delimiter, m_size - from);
            if (!hit) {
                m_pos = m_size;
                t->end = m_size;
                return !isBlank({m_bytes + t->begin, m_size - t->begin});
            }
            const size_t d = static_cast<size_t>(static_cast<const char*>(hit) - m_bytes);
            if (m_escapes && d + 1 < m_size && m_bytes[d + 1] == m_delimiter) {
                if (t->firstDoubled == kNone) t->firstDoubled = d;
                from = d + 2;
                continue;
            }
            t->end = d;
            m_pos = d + 1;
            return true;
        }
    }

private:
    const char* m_bytes;
    size_t m_size;
    char m_delimiter;
    bool m_escapes;
    size_t m_pos = 1;
};

// One reading of a whole segment, up to the first keyword it cannot take:
// with escapes, a keyword holding the delimiter; without, an empty one.
struct Reading {
    bool fits = true;
    size_t tokens = 0;
    Token failed;
};

Reading read(const char* bytes, size_t size, bool escapes) {
    Reading r;
    Tokens tokens(bytes, size, escapes);
    Token t;
    for (; tokens.next(&t); ++r.tokens) {
        if (r.tokens % 2 != 0) continue;
        const bool bad = escapes ? t.firstDoubled != kNone : isBlank({bytes + t.begin, t.end - t.begin});
        if (bad) {
            r.fits = false;
            r.failed = t;
            return r;
        }
    }
    return r;
}

// Appends the bytes of `t` to `out`, a doubled delimiter as one.
template <class Out>
void appendToken(const char* bytes, const Token& t, bool escapes, Out& out) {
    if (!escapes || t.firstDoubled == kNone) {
        out.insert(out.end(), bytes + t.begin, bytes + t.end);
        return;
    }
    out.insert(out.end(), bytes + t.begin, bytes + t.firstDoubled + 1);
    const char delimiter = bytes[0];
    for (size_t i = t.firstDoubled + 2; i < t.end; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == delimiter) ++i;  // every delimiter inside a token is doubled
    }
}

std::string delimiterText(char d) {
    if (d >= '!' && d <= '~') return std::string("'") + d + "'";
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(d));
    return buf;
}

}  // namespace

std::string MCV_FcsText::upperKey(std::string_view key) {
    std::string k(key);
    for (char& c : k) c = upper(c);
    return k;
}

void MCV_FcsText::textReading(std::string_view value, std::string* out) {
    size_t begin = 0, end = value.size();
    while (begin < end && isPadding(value[begin])) ++begin;
    while (end > begin && isPadding(value[end - 1])) --end;
    out->resize(end - begin);
    for (size_t i = begin; i < end; ++i) (*out)[i - begin] = upper(value[i]);
}

void MCV_FcsText::readingOf(std::string_view key, std::string_view value, std::string* out) const {
    if (m_reading)
        m_reading(key, value, out);
    else
        textReading(value, out);
}

const std::string& MCV_FcsText::keptReading(uint32_t n, std::string_view key, std::string* scratch) {
    const std::string_view kept = valueOf(m_entries[n]);
    if (kept.size() <= kReadAnew) {
        readingOf(key, kept, scratch);
        return *scratch;
    }
    auto it = m_keptReadings.find(n);
    if (it == m_keptReadings.end()) {
        readingOf(key, kept, scratch);
        it = m_keptReadings.emplace(n, *scratch).first;
    }
    return it->second;
}

bool MCV_FcsText::parse(const char* bytes, size_t size) {
    m_lastUsedEmptyValues = false;
    m_failure = Failure();
    if (size < 2) return true;
    if (size >= (uint64_t(1) << 32)) {
        m_failure.refused = m_failure.tooLarge = true;
        m_failure.size = size;
        return false;
    }

    // Both readings are tried on the bytes in place, each up to its first
    // failure, before anything is stored.
    const Reading escaped = read(bytes, size, true);
    bool escapes = true;
    size_t tokens = escaped.tokens;
    if (!escaped.fits) {
        const Reading plain = read(bytes, size, false);
        if (!plain.fits) {
            Failure& f = m_failure;
            f.refused = true;
            f.keywordBegin = escaped.failed.begin;
            f.doubledAt = escaped.failed.firstDoubled;
            f.emptyKeywordAt = plain.failed.begin;
            f.keyword = quoted({bytes + f.keywordBegin, f.doubledAt - f.keywordBegin});
            f.delimiter = bytes[0];
            return false;
        }
        escapes = false;
        tokens = plain.tokens;
        m_lastUsedEmptyValues = true;
    }
    build(bytes, size, escapes, tokens / 2);
    return true;
}

bool MCV_FcsText::isWholeText(const char* bytes, size_t size) {
    if (size < 2 || size >= (uint64_t(1) << 32)) return false;
    const bool escapes = read(bytes, size, true).fits;
    if (!escapes && !read(bytes, size, false).fits) return false;
    Tokens tokens(bytes, size, escapes);
    Token t;
    size_t n = 0;
    for (; tokens.next(&t); ++n) {
        if (t.end == size) return false;  // bytes after the last delimiter that are not padding
        if (n % 2 != 0) continue;
        for (size_t i = t.begin; i < t.end; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c < 0x20 || c > 0x7e) return false;
        }
    }
    return n > 0 && n % 2 == 0;
}

void MCV_FcsText::build(const char* bytes, size_t size, bool escapes, size_t pairs) {
    // At most `pairs` new entries and `size` new bytes: reserved once, so no
    // block is copied while the segment is read. Space that repeats leave
    // unused is never touched.
    assert(m_entries.size() + pairs < std::numeric_limits<uint32_t>::max());
    m_entries.reserve(m_entries.size() + pairs);
    m_hasConflict.reserve(m_entries.size() + pairs);
    m_bytes.reserve(m_bytes.size() + size);
    reserveIndex(m_entries.size() + pairs);

    std::string key, value, reading, scratch;
    Tokens tokens(bytes, size, escapes);
    Token k, v;
    // A keyword left without a value at the very end carries nothing.
    while (tokens.next(&k) && tokens.next(&v)) {
        if (isBlank({bytes + k.begin, k.end - k.begin})) continue;
        key.clear();
        appendToken(bytes, k, escapes, key);
        for (char& c : key) c = upper(c);
        const size_t hash = std::hash<std::string_view>()(key);
        const size_t slot = slotOf(key, hash);
        if (m_index[slot] == 0) {
            Entry e{m_bytes.size(), static_cast<uint32_t>(key.size()), 0};
            m_bytes.insert(m_bytes.end(), key.begin(), key.end());
            appendToken(bytes, v, escapes, m_bytes);
            e.valueLength = static_cast<uint32_t>(m_bytes.size() - e.offset - e.keyLength);
            m_entries.push_back(e);
            m_hasConflict.push_back(false);
            m_index[slot] = static_cast<uint32_t>(m_entries.size());
            continue;
        }
        const uint32_t n = m_index[slot] - 1;
        if (m_hasConflict[n]) continue;
        value.clear();
        appendToken(bytes, v, escapes, value);
        readingOf(key, value, &reading);
        if (keptReading(n, key, &scratch) == reading) continue;
        m_conflicts.push_back({n, static_cast<uint32_t>(value.size()), m_bytes.size()});
        m_bytes.insert(m_bytes.end(), value.begin(), value.end());
        m_hasConflict[n] = true;
    }
    std::sort(m_conflicts.begin(), m_conflicts.end(),
              [](const Conflict& a, const Conflict& b) { return a.entry < b.entry; });
}

void MCV_FcsText::reserveIndex(size_t entries) {
    // At most three quarters full.
    size_t capacity = 16;
    while (capacity / 4 * 3 < entries) capacity *= 2;
    if (capacity <= m_index.size()) return;
    m_index.assign(capacity, 0);
    const std::hash<std::string_view> hash;
    for (size_t n = 0; n < m_entries.size(); ++n) {
        const std::string_view key = keyOf(m_entries[n]);
        m_index[slotOf(key, hash(key))] = static_cast<uint32_t>(n + 1);
    }
}

size_t MCV_FcsText::slotOf(std::string_view key, size_t hash) const {
    assert(!m_index.empty());
    const size_t mask = m_index.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const uint32_t n = m_index[slot];
        if (n == 0 || keyOf(m_entries[n - 1]) == key) return slot;
    }
}

const MCV_FcsText::Entry* MCV_FcsText::entry(std::string_view key) const {
    if (m_index.empty()) return nullptr;
    const std::string k = upperKey(key);
    const uint32_t n = m_index[slotOf(k, std::hash<std::string_view>()(k))];
    return n ? &m_entries[n - 1] : nullptr;
}

std::optional<std::string_view> MCV_FcsText::find(std::string_view key) const {
    const Entry* e = entry(key);
    if (!e) return std::nullopt;
    return valueOf(*e);
}

std::optional<std::string_view> MCV_FcsText::conflictingRepeat(std::string_view key) const {
    const Entry* e = entry(key);
    if (!e) return std::nullopt;
    const uint32_t n = static_cast<uint32_t>(e - m_entries.data());
    const auto it = std::lower_bound(m_conflicts.begin(), m_conflicts.end(), n,
                                     [](const Conflict& c, uint32_t entry) { return c.entry < entry; });
    if (it == m_conflicts.end() || it->entry != n) return std::nullopt;
    return std::string_view(m_bytes.data() + it->offset, it->length);
}

std::string MCV_FcsText::quoted(std::string_view value) {
    constexpr size_t kShown = 40;
    std::string out = "\"";
    for (size_t i = 0; i < value.size() && i < kShown; ++i) out += value[i] >= ' ' && value[i] <= '~' ? value[i] : '?';
    return out + (value.size() > kShown ? "...\"" : "\"");
}

void MCV_FcsText::clear() {
    // Swapped out, not just emptied: a large former TEXT gives its memory back.
    std::vector<char>().swap(m_bytes);
    std::vector<Entry>().swap(m_entries);
    std::vector<uint32_t>().swap(m_index);
    std::vector<Conflict>().swap(m_conflicts);
    std::vector<bool>().swap(m_hasConflict);
    std::unordered_map<uint32_t, std::string>().swap(m_keptReadings);
    m_lastUsedEmptyValues = false;
    m_failure = Failure();
}

std::string MCV_FcsText::refusal(const std::string& segment, int64_t segmentOffset) const {
    const Failure& f = m_failure;
    if (!f.refused) return std::string();
    const auto at = [segmentOffset](size_t offset) { return std::to_string(segmentOffset + int64_t(offset)); };
    if (f.tooLarge)
        return "The " + segment + " segment holds " + std::to_string(f.size) + " bytes; at most 4294967295 are read.";
    const std::string d = delimiterText(f.delimiter);
    std::string why = f.keywordBegin == f.doubledAt
                          ? "the keyword at offset " + at(f.keywordBegin) + " starts with the delimiter " + d
                          : "the value after the keyword " + f.keyword + " (offset " + at(f.keywordBegin) +
                                ") starts with the delimiter " + d + " at offset " + at(f.doubledAt + 1);
    return "The " + segment + " segment cannot be split into keywords and values: " + why +
           ", which FCS forbids; read as empty values, the doubled delimiters leave the keyword at offset " +
           at(f.emptyKeywordAt) + " empty.";
}
