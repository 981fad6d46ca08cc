#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// The keyword/value pairs of an FCS TEXT segment.
//
// A segment starts with its delimiter; keywords and values follow, each ended
// by the delimiter. A doubled delimiter inside a keyword or value stands for
// one literal delimiter. Keywords are matched without regard to ASCII case.
// The first occurrence of a keyword wins: pairs added by a later `parse`
// (supplemental TEXT) or repeated further on never replace an earlier value.
// A repeat whose value differs from the kept one (ignoring padding and ASCII
// case) is remembered, so a reader can refuse keywords it cannot do without.
class MCV_FcsText {
public:
    // Splits `size` bytes whose first byte is the delimiter and adds every pair
    // whose keyword is not present yet. Blank padding (spaces, NULs, line
    // breaks) after the last delimiter is ignored; a final value whose closing
    // delimiter is missing is kept. Some old writers store an empty value as
    // two adjacent delimiters: when reading doubled delimiters as escapes puts
    // delimiters into keywords and reading them as empty values does not, the
    // segment is read the second way. Returns the number of pairs read.
    size_t parse(const char* bytes, size_t size);

    // The value of `key`, or null when no pair has that keyword.
    const std::string* find(const std::string& key) const;
    // The first repeated value of `key` that differs from the kept one, or null.
    const std::string* conflictingRepeat(const std::string& key) const;
    // Keywords (upper case) that have a conflicting repeat.
    std::vector<std::string> conflictingKeys() const;
    size_t size() const { return m_values.size(); }
    void clear();
    // Whether the last `parse` read doubled delimiters as empty values.
    bool lastParseUsedEmptyValues() const { return m_lastUsedEmptyValues; }

    static std::string upperKey(const std::string& key);

private:
    static std::vector<std::string> tokens(const char* bytes, size_t size, bool doubledIsEscape);

    std::unordered_map<std::string, std::string> m_values;     // keyed by upperKey
    std::unordered_map<std::string, std::string> m_conflicts;  // keyed by upperKey
    bool m_lastUsedEmptyValues = false;
};
