#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The keyword/value pairs of an FCS TEXT segment.
//
// A segment starts with its delimiter; keywords and values follow, each ended
// by the delimiter. A doubled delimiter inside a keyword or value stands for
// one literal delimiter. Keywords are matched without regard to ASCII case.
// The first occurrence of a keyword wins: pairs added by a later `parse`
// (supplemental TEXT) or repeated further on never replace an earlier value.
// The first repeat that does not say the same as the kept value is
// remembered, so a reader can refuse keywords it cannot do without; what
// "the same" means is the reader's to say (`ValueReading`), as only it knows
// what it takes from a value.
//
// Memory: the pairs are kept in one block of their bytes with a small record
// and an index slot each, so a segment costs a few times its own size however
// it is made up; nothing is held per delimiter, and at most one repeat per
// keyword and the reading of a long kept value that is repeated. Time: a
// segment costs time in proportion to its size, also when a long value is
// repeated many times, as a long kept value is read once for all its repeats.
class MCV_FcsText {
public:
    // Writes to *out what the reader takes from `value`, a value of `key`
    // (upper case): a repeat says the same as the kept value when their
    // readings are equal. Its cost must be in proportion to the value's
    // length. Called for every repeat until one does not say the same, and
    // once for a kept value longer than kReadAnew bytes, whose reading is
    // kept. Shorter ones are read for each repeat, which costs no more than a
    // few repeats' bytes and keeps nothing per keyword.
    using ValueReading = void (*)(std::string_view key, std::string_view value, std::string* out);
    static constexpr size_t kReadAnew = 64;
    // Without `reading`, two values are the same when they are equal but for
    // padding around them and ASCII case (textReading).
    explicit MCV_FcsText(ValueReading reading = nullptr) : m_reading(reading) {}

    // Splits `size` bytes whose first byte is the delimiter and adds every pair
    // whose keyword is not present yet. Blank padding (spaces, NULs, line
    // breaks) after the last delimiter is ignored; a final value whose closing
    // delimiter is missing is kept. Some old writers store an empty value as
    // two adjacent delimiters: when reading doubled delimiters as escapes puts
    // delimiters into keywords and reading them as empty values does not, the
    // segment is read the second way.
    //
    // When neither way fits (the escapes put a delimiter into a keyword, which
    // happens when a value starts with the delimiter, and the empty values
    // leave a keyword empty), the segment is refused as soon as both readings
    // have failed: nothing is added and false is returned; refusal() says
    // where. Segments of 4 GiB or more are refused as well.
    bool parse(const char* bytes, size_t size);
    // Whether `size` bytes whose first byte is the delimiter have the full
    // form of a TEXT, read as parse reads them: one pair or more, every
    // keyword of printable ASCII, and every value closed by the delimiter,
    // with nothing but blank padding after the last one. parse takes less (a
    // last value left open, a keyword without a value); bytes of another
    // kind that happen to start with the delimiter seldom have this form.
    // Reads the bytes in place, in time in proportion to their size.
    static bool isWholeText(const char* bytes, size_t size);

    // The value of `key`, or nothing when no pair has that keyword. A value
    // stays valid until the next parse or clear.
    std::optional<std::string_view> find(std::string_view key) const;
    // The first repeated value of `key` that does not say the same as the
    // kept one.
    std::optional<std::string_view> conflictingRepeat(std::string_view key) const;
    // The keywords (upper case) that have a conflicting repeat, i from 0 to
    // conflicts() - 1, in the order they were first met. Nothing is copied,
    // however many there are.
    size_t conflicts() const { return m_conflicts.size(); }
    std::string_view conflictingKey(size_t i) const { return keyOf(m_entries[m_conflicts[i].entry]); }
    size_t size() const { return m_entries.size(); }
    // Pair i (0 to size() - 1, in the order first met): its keyword in upper
    // case and its value. A pass over all pairs reads them in the order they
    // are stored, which is much faster than a look-up per keyword.
    std::string_view key(size_t i) const { return keyOf(m_entries[i]); }
    std::string_view value(size_t i) const { return valueOf(m_entries[i]); }
    void clear();
    // Whether the last `parse` read doubled delimiters as empty values.
    bool lastParseUsedEmptyValues() const { return m_lastUsedEmptyValues; }
    // Why the last `parse` refused its segment, named `segment` ("TEXT"),
    // with file offsets counted from `segmentOffset` (where the segment's
    // first byte lies); empty when it did not refuse.
    std::string refusal(const std::string& segment, int64_t segmentOffset) const;

    static std::string upperKey(std::string_view key);
    // `value` without padding (spaces, NULs, tabs, line breaks) around it, in
    // ASCII upper case: two values with the same textReading are equal but
    // for padding and case.
    static void textReading(std::string_view value, std::string* out);
    // A keyword or value as a reason shows it: in double quotes, at most 40
    // characters, any byte other than printable ASCII as '?'.
    static std::string quoted(std::string_view value);

private:
    // A kept pair: its upper-case keyword and then its value, in m_bytes.
    struct Entry {
        uint64_t offset;
        uint32_t keyLength;
        uint32_t valueLength;
    };
    struct Conflict {
        uint32_t entry;
        uint32_t length;
        uint64_t offset;
    };
    // Where the last parse found that neither reading fits.
    struct Failure {
        bool refused = false;
        bool tooLarge = false;
        size_t size = 0;
        size_t keywordBegin = 0;  // the keyword the escapes put a delimiter into
        size_t doubledAt = 0;     // its first doubled delimiter
        size_t emptyKeywordAt = 0;
        std::string keyword;  // its bytes before doubledAt, quoted
        char delimiter = 0;
    };

    void build(const char* bytes, size_t size, bool escapes, size_t pairs);
    void reserveIndex(size_t entries);
    // The index slot that holds `key` (upper case), or the empty slot where it
    // would go.
    size_t slotOf(std::string_view key, size_t hash) const;
    std::string_view keyOf(const Entry& e) const { return {m_bytes.data() + e.offset, e.keyLength}; }
    std::string_view valueOf(const Entry& e) const { return {m_bytes.data() + e.offset + e.keyLength, e.valueLength}; }
    const Entry* entry(std::string_view key) const;
    void readingOf(std::string_view key, std::string_view value, std::string* out) const;
    // The reading of entry n's value (its keyword `key`): kept after the
    // first time for a long value, else written to *scratch.
    const std::string& keptReading(uint32_t n, std::string_view key, std::string* scratch);

    std::vector<char> m_bytes;
    std::vector<Entry> m_entries;
    std::vector<uint32_t> m_index;      // entry number + 1; 0 for an empty slot; a power of two long
    std::vector<Conflict> m_conflicts;  // sorted by entry after each parse
    std::vector<bool> m_hasConflict;    // by entry
    // By entry, only for values longer than kReadAnew that were repeated.
    std::unordered_map<uint32_t, std::string> m_keptReadings;
    ValueReading m_reading;
    bool m_lastUsedEmptyValues = false;
    Failure m_failure;
};
