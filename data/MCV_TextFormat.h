#pragma once

#include <string>

// Number and string forms shared by the JSON and CSV texts of derived data.
class MCV_TextFormat {
public:
    // The value widened to double in fixed notation with six decimals
    // (0.5 -> "0.500000"); non-finite values as "nan", "inf" or "-inf".
    static std::string fixed6(float value);
    // As fixed6, but "null" for a non-finite value, which JSON cannot hold.
    static std::string jsonNumber(float value);
    // A JSON string literal, quotes included: '"' and '\' escaped, control
    // characters as \n, \t ... or \u00XX, U+2028/U+2029 as \u2028/\u2029 (page
    // scripts may evaluate the text), and bytes that are not UTF-8 replaced by
    // U+FFFD so that the document always parses.
    static std::string jsonQuoted(const std::string& text);
    // The JSON text prepared to sit inside a double-quoted script string:
    // line feeds removed, '\' and '"' preceded by a backslash.
    static std::string scriptEscaped(const std::string& json);
    // A CSV field: unchanged unless it holds a comma, a double quote or a line
    // break; then quoted, with inner quotes doubled.
    static std::string csvField(const std::string& text);
};
