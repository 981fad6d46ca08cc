// The template panel's refused run; its controls, marker warning and
// published run are tabled with the SPADE panel's in tests/ui/spade/.
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
// without a template value, so the run is refused and says why (a run that
// fits is tabled with the SPADE panel's in tests/ui/spade/).
TEST_F(TemplatePanelTest, UpsampleOfAClassificationThatDoesNotFitSaysWhyAndPublishesNothing) {
    MCV_TemplateAnalysis classification;
    classification.init(nullptr, "Narrow", {{2, 0}});
    UI_TemplateSettingsWidget panel(nullptr, &classification);
    quietly([&] { QTest::mouseClick(panel.computeButtonWidget(), Qt::LeftButton); });
    const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(classification.errorMessage().empty());
    EXPECT_EQ(messages[0].text.toStdString(), classification.errorMessage());
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataClusters("Narrow", true)->numClusters(), 0);
}

}  // namespace
