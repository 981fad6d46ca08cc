#include "ui/base/UI_Settings.h"
#include "data/MCV_Settings.h"

#include <QSettings>
#include <gtest/gtest.h>

TEST(SettingsStore, MissingKeysReadEmptyAndWrittenOnesPersistOutsideTheUsersSettings) {
    UI_Settings* s = UI_Settings::Instance();
    EXPECT_EQ(s, UI_Settings::Instance());
    s->remove("exportDefaultFilePath");
    s->sync();
    EXPECT_TRUE(s->value("exportDefaultFilePath").toString().isEmpty());
    s->setValue("dataDefaultFilePath", "/data/run 7/");
    s->sync();
    // A second store object reads the same platform file, as the next run would.
    QSettings again;
    EXPECT_EQ(again.value("dataDefaultFilePath").toString(), "/data/run 7/");
    EXPECT_TRUE(again.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")))
        << "tests must not write the user's real settings: " << again.fileName().toStdString();
}

TEST(InMemoryDefaults, SettersReplaceTheFieldsOfTheOneInstanceAsAWhole) {
    MCV_Settings* s = MCV_Settings::Instance();
    s->setDefaultMarkers({true, false, true});
    s->setDefaultSamples({{"s1", true}, {"s2", false}});
    s->setDefaultSampleColors({{"s1", {1.0f, 0.5f, 0.0f}}});
    MCV_Settings* again = MCV_Settings::Instance();
    ASSERT_EQ(s, again);
    EXPECT_EQ(again->defaultMarkers, (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(again->defaultSamples.at("s2"));
    EXPECT_FLOAT_EQ(again->defaultSampleColors.at("s1")[1], 0.5f);
    s->setDefaultSamples({{"s3", true}});
    EXPECT_EQ(s->defaultSamples.size(), 1u);
    // Left empty: later panels of this process read the defaults.
    s->setDefaultSamples({});
    s->setDefaultSampleColors({});
    s->setDefaultMarkers({});
    EXPECT_TRUE(MCV_Settings::Instance()->defaultMarkers.empty());
}
