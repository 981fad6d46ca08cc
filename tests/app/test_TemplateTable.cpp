// The template table reader: CSV rows (quotes, line ends, the end of the
// text) and the all-or-nothing table with a reason that names the file
// (also a file that is not there).
#include "app/TemplateTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

using Table = std::vector<std::vector<float>>;

QStringList debugLines;
void collectDebug(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg) debugLines << message;
}

class TemplateTableRead : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes) {
        const QString path = dir.filePath("table.csv");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(TemplateTableRead, RowsAndTablesOfEveryShape) {
    struct Case {
        QByteArray text;
        QList<QStringList> rows;
        bool unterminated;
        Table table;
        QStringList error;  // parts of the reason; empty when the table is used
    } cases[] = {
        {"1,2,3\n4,5,6\n", {{"1", "2", "3"}, {"4", "5", "6"}}, false, {{1, 2, 3}, {4, 5, 6}}, {}},
        {"1,2,3\n4,5,6", {{"1", "2", "3"}, {"4", "5", "6"}}, false, {{1, 2, 3}, {4, 5, 6}}, {}},
        {"1,2\r\n3.5,-4e1\r\n", {{"1", "2"}, {"3.5", "-4e1"}}, false, {{1, 2}, {3.5f, -40}}, {}},
        // A last row ending in a comma has an empty last field.
        {"1,2,3\n4,5,", {{"1", "2", "3"}, {"4", "5", ""}}, false, {{1, 2, 3}, {4, 5, 0}}, {}},
        {"\"1,5\",2\nx,3", {{"1,5", "2"}, {"x", "3"}}, false, {}, {"line 1, field 1"}},
        {"\"a\"\"b\",\"\",\"q\nr\",7\n", {{"a\"b", "", "q\nr", "7"}}, false, {}, {"line 1, field 1"}},
        {"\"\",\" 2 \",7\n", {{"", " 2 ", "7"}}, false, {{0, 2, 7}}, {}},
        {QByteArray("1,2\n3,4\0,5\n", 11), {{"1", "2"}, {"3", "4"}}, false, {{1, 2}, {3, 4}}, {}},
        {"CD3,\"CD4\"\n1,2\n", {{"CD3", "CD4"}, {"1", "2"}}, false, {{1, 2}}, {}},
        {"1,2\n3,4\n\n", {{"1", "2"}, {"3", "4"}, {""}}, false, {}, {"line 3 has 1 field", "(line 1) has 2"}},
        {"1,2,3\n4,5\n6,7,8\n",
         {{"1", "2", "3"}, {"4", "5"}, {"6", "7", "8"}},
         false,
         {},
         {"line 2 has 2 fields", "(line 1) has 3"}},
        {"a,b\n\"x\ny\",2\n3\n",
         {{"a", "b"}, {"x\ny", "2"}, {"3"}},
         false,
         {},
         {"line 4 has 1 field", "(line 2) has 2"}},
        {"1,2\n3,\"4,5\n6,7\n", {{"1", "2"}}, true, {}, {"never closed", "line 2"}},
        {"1,\"2", {}, true, {}, {"never closed", "line 1"}},
        {"CD3,CD4\n", {{"CD3", "CD4"}}, false, {}, {"no templates"}},
        {"", {}, false, {}, {"no templates"}},
        {QByteArray(), {}, false, {}, {"could not be opened"}},  // no file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QString path = c.text.isNull() ? dir.filePath("none.csv") : write(c.text);
        bool unterminated = !c.unterminated;
        EXPECT_EQ(readCsvFile(path, &unterminated), c.rows);
        EXPECT_EQ(unterminated, c.unterminated);
        const TemplateTable table = readTemplateTable(path);
        EXPECT_EQ(table.rows, c.table);
        EXPECT_EQ(table.error.isEmpty(), c.error.isEmpty()) << table.error.toStdString();
        EXPECT_TRUE(c.error.isEmpty() || table.error.contains(path)) << table.error.toStdString();
        for (const QString& part : c.error) EXPECT_TRUE(table.error.contains(part)) << table.error.toStdString();
    }
}

// A lone carriage return ends a line as "\n" and "\r\n" do.
TEST_F(TemplateTableRead, EveryLineEndGivesTheSameTable) {
    for (const char* text : {"1,2,3\n4,5,6\n", "1,2,3\r\n4,5,6\r\n", "1,2,3\r4,5,6\r", "1,2,3\r4,5,6"}) {
        SCOPED_TRACE(text);
        const QString path = write(text);
        EXPECT_EQ(readCsvFile(path), (QList<QStringList>{{"1", "2", "3"}, {"4", "5", "6"}}));
        EXPECT_EQ(readTemplateTable(path).rows, (Table{{1, 2, 3}, {4, 5, 6}}));
    }
}

// A field that is no finite float, or a table written with another
// separator, refuses the whole file with the place to look at.
TEST_F(TemplateTableRead, RefusesValuesThatAreNoFiniteNumberAndOtherSeparators) {
    const struct {
        const char* text;
        QStringList error;  // parts of the reason; empty when the table is used
    } cases[] = {
        {"1,2\nnan,3\n", {"not a finite number", "line 2, field 1"}},
        {"1,inf\n", {"line 1, field 2"}},
        {"-inf,2\n", {"line 1, field 1"}},
        {"1,2\n3,1e39\n", {"line 2, field 2"}},
        {"1,2\n\"1,5\",2\n", {"line 2, field 1"}},
        {"1,2\nabc,2\n", {"line 2, field 1"}},
        {"1,2\r3,x\r", {"line 2, field 2"}},
        {"1,2\r\n\r\n3,4\r\n", {"line 2 has 1 field"}},
        {"CD3;CD4\n1;2\n", {"separates its values with \";\" (line 1)", "commas"}},
        {"1;2\n3;4\n", {"\";\" (line 1)"}},
        {"1;2;3\r", {"\";\" (line 1)"}},
        {"CD3\tCD4\n1\t2\n", {"separates its values with a tab (line 1)"}},
        // One column of numbers is a table, whatever its header says.
        {"CD3;x\n1.5\n", {}},
        {"1,-3.4e38\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QString path = write(c.text);
        const TemplateTable table = readTemplateTable(path);
        EXPECT_EQ(table.rows.empty(), !c.error.isEmpty());
        EXPECT_EQ(table.error.isEmpty(), c.error.isEmpty()) << table.error.toStdString();
        EXPECT_TRUE(c.error.isEmpty() || table.error.contains(path)) << table.error.toStdString();
        for (const QString& part : c.error) EXPECT_TRUE(table.error.contains(part)) << table.error.toStdString();
    }
}

// A named pipe would block the read for ever and a directory holds no table:
// both are refused before they are opened.
TEST_F(TemplateTableRead, APathThatIsNoRegularFileIsRefusedUnopened) {
    const QString pipe = dir.filePath("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = dir.filePath("folder.csv");
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& path : {pipe, folder}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(readCsvFile(path).isEmpty());
        const TemplateTable table = readTemplateTable(path);
        EXPECT_TRUE(table.rows.empty());
        EXPECT_EQ(table.error,
                  QStringLiteral("The template table \"%1\" could not be opened: it is not a regular file.").arg(path));
    }
}

TEST_F(TemplateTableRead, AHeaderRowIsSkippedWithADebugLine) {
    const QString path = write("CD4,CD3\n2,1\n");
    debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectDebug);
    const TemplateTable table = readTemplateTable(path);
    qInstallMessageHandler(previous);
    EXPECT_EQ(table.rows, (Table{{2, 1}}));
    ASSERT_EQ(debugLines.size(), 1);
    EXPECT_TRUE(debugLines[0].contains("header"));
}

}  // namespace
