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

// Reads `path` with readCsvFile and converts every field with
// QString::toFloat (a field that is no number gives 0). A first row without
// any number names the columns and is skipped (with a debug line). All or
// nothing: a row of another length than the first, an unterminated quote or
// a file without rows gives an empty table and the error.
TemplateTable readTemplateTable(const QString& path);

// The CSV rows of `path` (UTF-8 up to the first NUL, carriage returns
// removed, fields split at commas outside quotes, rows at newlines; a last
// row that ends in a comma ends with an empty field). A file that cannot be
// opened gives no rows. `unterminatedQuote`, when given, is set when a quote
// is still open at the end of the text; its row is not among the rows.
QList<QStringList> readCsvFile(const QString& path, bool* unterminatedQuote = nullptr);

// Ends the current field at `delimiter` (a newline, a comma, or NUL for the
// end of the text), or continues it when it is inside an open quote.
void finishCsvField(QString& field, QStringList& row, QList<QStringList>& rows, QChar delimiter);
