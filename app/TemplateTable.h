#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The template table of "Classify with Template...": one row per template
// cluster, one numeric column per variable, read from a CSV file.
struct TemplateTable {
    // Rectangular; empty when the file could not be used.
    std::vector<std::vector<float>> rows;
    // Why the file could not be used (names the file); empty when it could.
    QString error;
};

// Reads `path` as readCsvFile does. A first row without any number names the
// columns and is skipped (with a debug line). Every other field must be a
// finite number in float range (an empty field gives 0). All or nothing: a
// path that is not a regular file, an unterminated quote, a file without
// rows, rows of one text holding ";" or a tab (another separator), a row of
// another length than the first or a field that is no such number gives an
// empty table and the error, which names the line and field.
TemplateTable readTemplateTable(const QString& path);

// The CSV rows of `path` (UTF-8 up to the first NUL, fields split at commas
// outside quotes, rows at line ends: "\n", "\r\n" or a lone "\r"; a last row
// that ends in a comma ends with an empty field). A path that is not a
// regular file, or a file that cannot be opened, gives no rows. `unterminatedQuote`, when given, is set when a quote
// is still open at the end of the text; its row is not among the rows.
QList<QStringList> readCsvFile(const QString& path, bool* unterminatedQuote = nullptr);

// Ends the current field at `delimiter` (a newline, a comma, or NUL for the
// end of the text), or continues it when it is inside an open quote.
void finishCsvField(QString& field, QStringList& row, QList<QStringList>& rows, QChar delimiter);
