// The template panel's runs; its controls and marker warning are tabled with
// the SPADE panel's in tests/ui/spade/.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"

#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "ui/template/UI_TemplateSettingsWidget.h"

#include <QPushButton>
#include <QTest>

namespace {

using TemplatePanelTest = viewtest::DataFixture;

// The markers are CD3, CD4 and CD8: a table of two columns leaves CD8
// without a template value.
TEST_F(TemplatePanelTest, UpsamplePublishesTheClassificationOrSaysWhyItWasRefused) {
    const struct {
        const char* name;
        std::vector<std::vector<float>> templates;
        bool refused;
    } cases[] = {{"Fits", {{2, 0, 1}, {15, 1, 1}}, false}, {"Narrow", {{2, 0}}, true}};
    for (const auto& c : cases) {
        MCV_TemplateAnalysis classification;
        classification.init(nullptr, c.name, c.templates);
        UI_TemplateSettingsWidget panel(nullptr, &classification);
        quietly([&] { QTest::mousePress(panel.computeButtonWidget(), Qt::LeftButton); });
        QTest::mouseRelease(panel.computeButtonWidget(), Qt::LeftButton);

        const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
        MCV_DerivedDataClusters* published = MCV_CytometryData::Instance()->derivedDataClusters(c.name, true);
        if (c.refused) {
            ASSERT_EQ(messages.size(), 1u) << c.name;
            EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
            EXPECT_FALSE(classification.errorMessage().empty());
            EXPECT_EQ(messages[0].text.toStdString(), classification.errorMessage());
            EXPECT_EQ(published->numClusters(), 0) << "nothing published";
        } else {
            EXPECT_TRUE(messages.empty()) << c.name;
            EXPECT_GT(classification.clusters().size(), 0u);
            EXPECT_EQ(size_t(published->numClusters()), classification.clusters().size());
        }
    }
}

}  // namespace
