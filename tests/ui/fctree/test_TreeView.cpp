// The focus-and-context tree view with its real page, the data model's
// trees and the bridge.
#include "ui/PageTestSupport.h"

#include "analysis/fc/MCV_FCTree.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/web/UI_WebPageHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(TreeView, DrawsTheChosenTreeLiveWithScaleDividersAndSavesWellFormedSvg) {
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    MCV_FCTree::registerKind();
    const QString name = QString::fromUtf8("Baum \xc3\xa4 \xe7\xb4\xb0\xe8\x83\x9e");
    MCV_FCTree* tree = data->derivedDataTrees(name.toStdString(), true);
    ASSERT_NE(tree, nullptr);
    // Root (scale 2, wrapped) > child (1) > a focus and a context leaf (0).
    tree->reset(2, MCV_FCTree::SparseMatrix(4), nullptr);
    auto child = tree->append(tree->root(), hierarchyNodeType(0), 1);
    tree->append(child, hierarchyNodeType(0), 0);
    tree->append(child, hierarchyNodeType(2), 0);

    UI_TreeWidget view(nullptr);
    QObject::connect(&bridge, &UI_Interface::dataRefreshedSignal, &view, &UI_TreeWidget::dataRefreshed);
    view.resize(600, 500);
    view.show();
    ASSERT_TRUE(pagetest::waitForPage(view.webView()));
    auto js = [&](const QString& script) { return pagetest::js(view.webView(), script).toString(); };
    const QString options = "[].map.call(document.getElementById('treeSelector').options, o => o.text).join('|')";
    EXPECT_EQ(js(options), "Tree|" + name);

    const size_t trees = data->derivedDataTrees().size();
    js("setActiveTree(document.getElementById('treeSelector').options[1].value)");
    EXPECT_EQ(std::make_pair(view.currentTree(), data->derivedDataTrees().size()), std::make_pair(tree, trees))
        << "the name came back as it went";
    const double segment = (js("window.innerHeight").toDouble() - 100) / 2;
    EXPECT_EQ(js("d3.selectAll('.divider').nodes().map(d => d.getAttribute('transform') + ' ' + "
                 "d.textContent + ' ' + d.firstChild.getAttribute('stroke-dasharray')).join('|')"),
              QString("translate(0,%1) Scale 2Scale 1 20,10,0.5,4,0.5,10|translate(0,%2) Scale 1Scale 0 20,10,0.5,10")
                  .arg(0.75 * segment)
                  .arg(1.75 * segment));
    EXPECT_EQ(js("d3.selectAll('.node').nodes().map(n => n.getAttribute('class').slice(10) + "
                 "n.firstChild.getAttribute('r') + n.textContent).join(' ')"),
              "context5 focus15F focus15F focus15F context15C")
        << "the wrapper is a small dot";
    QXmlStreamReader xml(UI_WebPageHost::standaloneSvg(js("document.getElementById('mainView').innerHTML"),
                                                       UI_WebPageHost::styleText(":/tree/tree.css")));
    while (!xml.atEnd()) xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    // Another tree's change only lists it; the chosen tree's change redraws:
    // one scale, no divider and nothing undefined.
    data->derivedDataTrees("Other", true)->reset(0, MCV_FCTree::SparseMatrix(1), nullptr);
    EXPECT_EQ(js(options), "Tree|" + name + "|Other");
    EXPECT_EQ(js("d3.selectAll('.node').size()"), "5");
    tree->reset(1, MCV_FCTree::SparseMatrix(3), nullptr);
    EXPECT_EQ(js("d3.selectAll('.node').size() + ' ' + d3.selectAll('.divider').size()"), "1 0");
    EXPECT_FALSE(js("document.getElementById('mainView').innerHTML").contains("NaN"));

    // A name no tree has: a new empty tree, drawn as nothing.
    js("setActiveTree('Empty')");
    EXPECT_EQ(js("d3.selectAll('.node').size()") + QString::number(data->derivedDataTrees().size() - trees), "02");
    delete MCV_CytometryData::Instance();
}

}  // namespace

namespace {

// The tree's "Save Image": a file that cannot be written is named in a
// warning and leaves nothing; a written one is well-formed XML.
TEST(TreeView, SavingTheDrawingGoesThroughTheDialogSeamAndReportsAFailure) {
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(&bridge);
    MCV_FCTree::registerKind();
    MCV_FCTree* tree = data->derivedDataTrees("Saved", true);
    tree->reset(1, MCV_FCTree::SparseMatrix(2), nullptr);
    tree->append(tree->root(), hierarchyNodeType(0), 0);
    UI_TreeWidget view(nullptr);
    view.show();
    ASSERT_TRUE(pagetest::waitForPage(view.webView()));
    pagetest::js(view.webView(), "setActiveTree(document.getElementById('treeSelector').options[1].value)");
    ASSERT_EQ(view.currentTree(), tree);

    UI_ModalDialogs::reset();
    UI_ModalDialogs::setScripted(true);
    QTemporaryDir dir;
    for (const QString& target : {dir.path() + "/gone/tree.svg", dir.path() + "/tree.svg"}) {
        UI_ModalDialogs::answerSaveFile(target);
        pagetest::js(view.webView(), "printSVG()");
    }
    const auto messages = UI_ModalDialogs::takeMessages();
    UI_ModalDialogs::setScripted(false);
    UI_ModalDialogs::reset();
    UI_Settings::Instance()->remove("exportDefaultFilePath");  // the folder chosen here is gone after the test
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Could not write the file " + dir.path() + "/gone/tree.svg: the folder " + dir.path() +
                                    "/gone does not exist.");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"tree.svg"});
    QFile saved(dir.path() + "/tree.svg");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(saved.readAll());
    int nodes = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("circle")) ++nodes;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GE(nodes, 2);
    delete MCV_CytometryData::Instance();
}

// Pages loading side by side: the engine may report a load before the page's
// script has connected; every view still lists the trees.
TEST(TreeView, ViewsOpenedTogetherAllListTheTrees) {
    UI_Interface bridge;
    delete MCV_CytometryData::Instance();
    MCV_CytometryData::Instance()->init(&bridge);
    MCV_FCTree::registerKind();
    MCV_CytometryData::Instance()->derivedDataTrees("Listed", true);
    std::vector<std::unique_ptr<UI_TreeWidget>> views;
    for (int i = 0; i < 3; ++i) {
        views.push_back(std::make_unique<UI_TreeWidget>(nullptr));
        views.back()->show();
    }
    const QString options = "[].map.call(document.getElementById('treeSelector').options, o => o.text).join('|')";
    for (auto& view : views) {
        for (int waited = 0; pagetest::js(view->webView(), options).toString() != "Tree|Listed" && waited < 15000;
             waited += 20)
            QTest::qWait(20);
        EXPECT_EQ(pagetest::js(view->webView(), options).toString(), "Tree|Listed");
    }
    views.clear();
    delete MCV_CytometryData::Instance();
}

}  // namespace
