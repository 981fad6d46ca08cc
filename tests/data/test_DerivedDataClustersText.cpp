#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace {

class ClusterTexts : public DerivedDataTest {
protected:
    // Events: 0..2 = (1, 2), 3 = (1, 0), 4 = (3, 4). Cluster "1" holds 0..2,
    // cluster "2" holds 3 and 4.
    void SetUp() override {
        DerivedDataTest::SetUp();
        load({{{1, 2}, {1, 2}, {1, 2}, {1, 0}, {3, 4}}});
        set.setUiInterface(&ui);
        set.setClusters({{{0, 0}, {0, 1}, {0, 2}}, {{0, 3}, {0, 4}}}, nullptr, {}, nullptr);
    }
    static QJsonObject parse(const std::string& json) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << json;
        return doc.object();
    }
    MCV_DerivedDataClusters set;
};

}  // namespace

TEST_F(ClusterTexts, JsonDocumentCarriesWhatThePagesReadAndItsScriptCopyIsQuoted) {
    set.setClusters({{{0, 0}, {0, 1}, {0, 2}}, {{0, 3}, {0, 4}}}, nullptr, {{0, 1, 0.5f}}, nullptr);
    EXPECT_EQ(parse(set.jsonObject()), parse(R"({"nodes":[{"name":"1","size":3,"expression":[1,2],"stddev":[0,0]},)"
                                             R"({"name":"2","size":2,"expression":[3,4],"stddev":[1,2]}],)"
                                             R"("links":[{"source":0,"target":1,"value":0.5}],"names":["A","B"]})"));
    parse(MCV_DerivedDataClusters().jsonObject());
    // A page script gets the document as one line inside "...".
    std::string quoted;
    for (char c : set.jsonObject())
        if (c != '\n') quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    EXPECT_EQ(set.jsonString(), quoted);
}

TEST_F(ClusterTexts, AnyNameGivesADocumentThePagesCanParse) {
    // Marker names with a quote, a backslash, the file's delimiter, non-ASCII.
    fresh();
    const std::string marker = "CD\"3\\a/b \xc3\xbc";
    load({{{1, 2}}}, {marker, "B"});
    MCV_DerivedDataClusters c;
    c.setClusters({{{0, 0}}, {}}, nullptr, {}, nullptr);
    const std::string name = "T \"cells\" \\ 1,2\tn\xe2\x80\xa8\xc3\xa9";
    c.setClusterName(0, name);
    c.setClusterName(1, "bad \xff utf-8");

    const QJsonObject doc = parse(c.jsonObject());
    const QJsonArray nodes = doc.value("nodes").toArray();
    EXPECT_EQ(nodes[0].toObject().value("name").toString(), QString::fromUtf8(name.c_str()));
    EXPECT_EQ(nodes[1].toObject().value("name").toString(), QString::fromUtf8("bad \xef\xbf\xbd utf-8"));
    EXPECT_EQ(doc.value("names").toArray()[0].toString(), QString::fromUtf8(marker.c_str()));
}

TEST_F(ClusterTexts, MedianTableIsCachedRenamingRebuildsItAndNonFiniteNumbersAreNull) {
    set.csvString();
    at(0, 4, 0) = 5;  // the median of cluster 2 would become 5
    set.setClusterName(1, "CD4, naive");
    EXPECT_EQ(set.csvString(), "Subset,A,B\n1,1.000000,2.000000\n\"CD4, naive\",3.000000,4.000000\n")
        << "a comma in a name must not shift the columns";
    set.invalidateStatistics();
    EXPECT_NE(set.jsonObject().find("\"expression\":[5.000000"), std::string::npos);

    at(0, 4, 0) = std::numeric_limits<float>::infinity();
    set.setClusters({{{0, 0}}, {{0, 4}}}, nullptr, {{0, 1, std::numeric_limits<float>::quiet_NaN()}}, nullptr);
    QJsonObject doc;
    quietly([&] { doc = parse(set.jsonObject()); });
    const QJsonObject node = doc.value("nodes").toArray()[1].toObject();
    EXPECT_TRUE(node.value("expression").toArray()[0].isNull());
    EXPECT_TRUE(node.value("stddev").toArray()[0].isNull());
    EXPECT_EQ(node.value("expression").toArray()[1].toDouble(), 4.0);
    EXPECT_TRUE(doc.value("links").toArray()[0].toObject().value("value").isNull());
    EXPECT_NE(set.csvString().find("2,inf,4.000000\n"), std::string::npos) << set.csvString();
}

TEST_F(ClusterTexts, OriginTablesBreakClustersDownBySample) {
    fresh();
    load({Rows(100, {0, 0}), Rows(300, {0, 0})});
    MCV_DerivedDataPoints reference;
    reference.setPoints(all(), false);
    Points cluster;
    for (int e = 0; e < 40; ++e) cluster.push_back(e < 10 ? std::make_pair(0, e) : std::make_pair(1, e - 10));

    MCV_DerivedDataClusters c;
    c.setClusters({cluster, {}}, &reference, {}, nullptr);
    const std::string expected =
        "Idx, Filename, Total events, in selection, % in selection, % of selection, % of selection normalized\n1, " +
        data->fileName(0, false) + ", 100.000000, 10.000000, 10.000000, 25.000000, 50.000000\n" + "2, " +
        data->fileName(1, false) + ", 300.000000, 30.000000, 10.000000, 75.000000, 50.000000\n";
    EXPECT_EQ(c.originCsvString(0), expected);
    EXPECT_EQ(c.originCsvString(1).find("nan"), std::string::npos) << "an empty cluster has shares of 0";
    EXPECT_EQ(c.originCsvString(2), "");

    // Without a reference set (nor "All Points") the totals are the files' event counts.
    MCV_DerivedDataClusters loose;
    loose.setClusters({cluster}, nullptr, {}, nullptr);
    EXPECT_EQ(loose.originCsvString(0), expected);
}
