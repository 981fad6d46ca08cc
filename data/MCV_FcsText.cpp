#include "data/MCV_FcsText.h"

namespace {

bool isPadding(char c) { return c == ' ' || c == '\0' || c == '\r' || c == '\n' || c == '\t'; }

bool isBlank(const std::string& s) {
    for (char c : s)
        if (!isPadding(c)) return false;
    return true;
}

// Equal but for padding around them and ASCII case.
bool sameValue(const std::string& a, const std::string& b) {
    size_t a0 = 0, a1 = a.size(), b0 = 0, b1 = b.size();
    while (a0 < a1 && isPadding(a[a0])) ++a0;
    while (a1 > a0 && isPadding(a[a1 - 1])) --a1;
    while (b0 < b1 && isPadding(b[b0])) ++b0;
    while (b1 > b0 && isPadding(b[b1 - 1])) --b1;
    if (a1 - a0 != b1 - b0) return false;
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (size_t i = 0; i < a1 - a0; ++i)
        if (upper(a[a0 + i]) != upper(b[b0 + i])) return false;
    return true;
}

}  // namespace

std::string MCV_FcsText::upperKey(const std::string& key) {
    std::string k = key;
    for (char& c : k)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return k;
}

std::vector<std::string> MCV_FcsText::tokens(const char* bytes, size_t size, bool doubledIsEscape) {
    std::vector<std::string> out;
    if (size == 0) return out;
    const char delim = bytes[0];
    std::string cur;
    size_t i = 1;
    while (i < size) {
        const char c = bytes[i];
        if (c != delim) {
            cur.push_back(c);
            ++i;
        } else if (doubledIsEscape && i + 1 < size && bytes[i + 1] == delim) {
            cur.push_back(delim);
            i += 2;
        } else {
            out.push_back(std::move(cur));
            cur.clear();
            ++i;
        }
    }
    // Bytes after the last delimiter: padding, or a value whose writer forgot
    // the closing delimiter.
    if (!isBlank(cur)) out.push_back(std::move(cur));
    return out;
}

size_t MCV_FcsText::parse(const char* bytes, size_t size) {
    m_lastUsedEmptyValues = false;
    if (size < 2) return 0;
    const char delim = bytes[0];

    std::vector<std::string> toks = tokens(bytes, size, true);
    bool delimiterInKeyword = false;
    for (size_t i = 0; i < toks.size() && !delimiterInKeyword; i += 2)
        delimiterInKeyword = toks[i].find(delim) != std::string::npos;
    if (delimiterInKeyword) {
        // Without escapes no token can hold the delimiter; that reading fits
        // only when it gives no empty keyword either.
        std::vector<std::string> plain = tokens(bytes, size, false);
        bool emptyKeyword = false;
        for (size_t i = 0; i < plain.size() && !emptyKeyword; i += 2) emptyKeyword = isBlank(plain[i]);
        if (!emptyKeyword) {
            toks.swap(plain);
            m_lastUsedEmptyValues = true;
        }
    }

    size_t pairs = 0;
    // A keyword left without a value at the very end carries nothing.
    for (size_t i = 0; i + 1 < toks.size(); i += 2) {
        if (isBlank(toks[i])) continue;
        ++pairs;
        std::string key = upperKey(toks[i]);
        const auto kept = m_values.try_emplace(key, std::move(toks[i + 1]));
        if (!kept.second && !sameValue(kept.first->second, toks[i + 1]))
            m_conflicts.try_emplace(std::move(key), std::move(toks[i + 1]));
    }
    return pairs;
}

const std::string* MCV_FcsText::find(const std::string& key) const {
    auto it = m_values.find(upperKey(key));
    return it == m_values.end() ? nullptr : &it->second;
}

const std::string* MCV_FcsText::conflictingRepeat(const std::string& key) const {
    auto it = m_conflicts.find(upperKey(key));
    return it == m_conflicts.end() ? nullptr : &it->second;
}

std::vector<std::string> MCV_FcsText::conflictingKeys() const {
    std::vector<std::string> keys;
    keys.reserve(m_conflicts.size());
    for (const auto& kv : m_conflicts) keys.push_back(kv.first);
    return keys;
}

void MCV_FcsText::clear() {
    m_values.clear();
    m_conflicts.clear();
    m_lastUsedEmptyValues = false;
}
