#include "app/TemplateTable.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

// The rows of a CSV text, with the 1-based line on which each row starts.
struct CsvText {
    QList<QStringList> rows;
    std::vector<int> lines;
    bool unterminatedQuote = false;
    int unterminatedLine = 0;  // where the row holding the open quote starts
};

// A named pipe, a device or a directory would block the read or give no
// table; only regular files (or links to them) are opened.
bool isRegularFile(const QString& path) { return QFileInfo(path).isFile(); }

// The text of a file (UTF-8 up to the first NUL, every line end "\r\n", "\r"
// or "\n" as "\n"); false when it is not a regular file or cannot be opened.
bool readText(const QString& path, QString* text) {
    if (!isRegularFile(path)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0) bytes.truncate(nul);
    *text = QString::fromUtf8(bytes);
    text->replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text->replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return true;
}

CsvText parseCsv(const QString& text) {
    CsvText csv;
    QString field;
    QStringList row;
    int line = 1, rowLine = 1;
    // Rows are added only by finishCsvField; a new one starts after it.
    const auto finish = [&](QChar delimiter) {
        const int before = csv.rows.size();
        finishCsvField(field, row, csv.rows, delimiter);
        if (csv.rows.size() > before) {
            csv.lines.push_back(rowLine);
            rowLine = delimiter == QLatin1Char('\n') ? line + 1 : line;
        }
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char(',')) {
            finish(c);
        } else {
            field.append(c);
            if (i == text.size() - 1) finish(QChar(0));
        }
        if (c == QLatin1Char('\n')) ++line;
    }
    if (!field.isEmpty()) {
        // Only an open quote keeps a field past the end of the text (the
        // last character finished every other one).
        if (!field.endsWith(QChar(0))) finishCsvField(field, row, csv.rows, QChar(0));
        csv.unterminatedQuote = true;
        csv.unterminatedLine = rowLine;
    } else if (!row.isEmpty()) {
        // A last row ending in a comma: its empty last field ends the text.
        finish(QChar(0));
    }
    return csv;
}

QString fields(int n) { return n == 1 ? QStringLiteral("1 field") : QStringLiteral("%1 fields").arg(n); }

// A field as a number of the table: finite and within float range
// (surrounding blanks allowed).
bool toTemplateValue(const QString& field, float* value) {
    bool ok = false;
    const double d = field.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > static_cast<double>(FLT_MAX)) return false;
    *value = static_cast<float>(d);
    return true;
}

// The separator a table of one column per row was written with, when it was
// not a comma: ";" or a tab found in `row`; empty when there is none.
QString foreignSeparator(const QStringList& row) {
    const QString text = row.join(QLatin1Char(','));
    if (text.contains(QLatin1Char(';'))) return QStringLiteral("\";\"");
    if (text.contains(QLatin1Char('\t'))) return QStringLiteral("a tab");
    return QString();
}

}  // namespace

TemplateTable readTemplateTable(const QString& path) {
    TemplateTable table;
    QString text;
    if (!isRegularFile(path) && QFileInfo::exists(path)) {
        table.error =
            QStringLiteral("The template table \"%1\" could not be opened: it is not a regular file.").arg(path);
        return table;
    }
    if (!readText(path, &text)) {
        table.error = QStringLiteral("The template table \"%1\" could not be opened.").arg(path);
        return table;
    }
    const CsvText csv = parseCsv(text);
    if (csv.unterminatedQuote) {
        table.error = QStringLiteral(
                          "The template table \"%1\" has a quote that is never closed (in the row "
                          "starting on line %2).")
                          .arg(path)
                          .arg(csv.unterminatedLine);
        return table;
    }

    int first = 0;
    if (!csv.rows.isEmpty()) {
        bool numeric = false;
        for (const QString& f : csv.rows.front()) {
            f.toDouble(&numeric);
            if (numeric) break;
        }
        // A first row without any number names the columns; as a template it
        // would be all zeros.
        if (!numeric) {
            qDebug().noquote()
                << QStringLiteral("Template table \"%1\": the first row holds no number and is skipped as a header.")
                       .arg(path);
            first = 1;
        }
    }
    // One text per row while the first row holds another separator: the
    // table was not written with commas (one column of numbers is a table,
    // and a single such line reads as a header).
    float unused = 0.0f;
    const bool oneText = first >= csv.rows.size() ||
                         (csv.rows.at(first).size() == 1 && !toTemplateValue(csv.rows.at(first).front(), &unused));
    const QString separator = csv.rows.isEmpty() || !oneText ? QString() : foreignSeparator(csv.rows.front());
    if (!separator.isEmpty()) {
        table.error = QStringLiteral(
                          "The template table \"%1\" separates its values with %2 (line %3); template "
                          "tables must separate them with commas.")
                          .arg(path)
                          .arg(separator)
                          .arg(csv.lines.front());
        return table;
    }
    if (first >= csv.rows.size()) {
        table.error = QStringLiteral("The template table \"%1\" holds no templates.").arg(path);
        return table;
    }

    const int width = csv.rows.at(first).size();
    for (int r = first + 1; r < csv.rows.size(); ++r) {
        const int n = csv.rows.at(r).size();
        if (n == width) continue;
        table.error = QStringLiteral(
                          "The template table \"%1\" is not rectangular: the row on line %2 has %3, "
                          "the first row (line %4) has %5.")
                          .arg(path)
                          .arg(csv.lines[static_cast<size_t>(r)])
                          .arg(fields(n))
                          .arg(csv.lines[static_cast<size_t>(first)])
                          .arg(width);
        return table;
    }
    table.rows.reserve(static_cast<size_t>(csv.rows.size() - first));
    for (int r = first; r < csv.rows.size(); ++r) {
        std::vector<float> values(static_cast<size_t>(width));
        for (int j = 0; j < width; ++j) {
            const QString& field = csv.rows.at(r).at(j);
            // An empty field is a value left out: 0, as a blank cell reads.
            if (field.isEmpty()) continue;
            if (toTemplateValue(field, &values[static_cast<size_t>(j)])) continue;
            table.rows.clear();
            table.error = QStringLiteral(
                              "The template table \"%1\" holds a value that is not a finite number on line %2, "
                              "field %3.")
                              .arg(path)
                              .arg(csv.lines[static_cast<size_t>(r)])
                              .arg(j + 1);
            return table;
        }
        table.rows.push_back(std::move(values));
    }
    return table;
}

QList<QStringList> readCsvFile(const QString& path, bool* unterminatedQuote) {
    if (unterminatedQuote) *unterminatedQuote = false;
    QString text;
    if (!readText(path, &text)) return {};
    CsvText csv = parseCsv(text);
    if (unterminatedQuote) *unterminatedQuote = csv.unterminatedQuote;
    return std::move(csv.rows);
}

void finishCsvField(QString& field, QStringList& row, QList<QStringList>& rows, QChar delimiter) {
    const QChar quote = QLatin1Char('"');
    if (field.count(quote) % 2 == 1) {
        // Inside an open quote the delimiter is part of the field.
        field.append(delimiter);
        return;
    }
    if (field.size() >= 2 && field.startsWith(quote) && field.endsWith(quote)) field = field.mid(1, field.size() - 2);
    field.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    row.append(field);
    if (delimiter != QLatin1Char(',')) {
        rows.append(row);
        row.clear();
    }
    field.clear();
}
