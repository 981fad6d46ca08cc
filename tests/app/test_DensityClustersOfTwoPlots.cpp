// Two plots of one A-tSNE analysis, the second opened with "Scatterplot
// View", each with a Sigma and a cluster resolution of its own: "Cluster" on
// either refills the analysis' one set "Density Clusters - <analysis>", and
// then both plots draw that set's clusters, a click on either selects the set's
// cluster drawn under it, hovering highlights it, "Save Clusters ..." writes
// the set, and each plot's controls show the Sigma and resolution the
// clusters were formed with. With "Continously" ticked, a plot forms its
// clusters anew in its frames as the embedding moves, and the others follow
// each time.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "support/WidgetFinders.h"
#include "ui/PageTestSupport.h"
#include "../data/StrictFcsReader.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_FcsHeader.h"
#include "render/MCV_PointRenderer.h"
#include "render/MCV_RenderCodes.h"
#include "ui/base/UI_FramePacer.h"
#include "ui/tsne/UI_TsneWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

namespace {

// The plots' square side in pixels: a whole number of cells of either grid
// side, so that the pixel a point is drawn on lies in the point's own cell.
constexpr int kSide = 256;
constexpr int kBlobs = 16;
constexpr int kPerBlob = 20;

struct Clustering {
    int sigmaSteps;  // the Sigma control's value (Sigma = steps * 0.005)
    int grid;        // "Cluster Res"
};

class DensityClustersOfTwoPlots : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1500, 1000});
        open({blobFile()});
        UI_ModalDialogs::answerText("Blobs");
        trigger("actionNewTsneAnalysis");
        tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
        ASSERT_NE(tsne, nullptr);
        tsne->setActiveDataSelection(MCV_CytometryData::Instance()->derivedDataPoints("All Points", true));
        tsne->setIterations(300);
        tsne->setSeed(2);
        plots[0] = qobject_cast<UI_TsneWidget*>(w().views().back())->plot();
        quietly([&] { tsne->computeTSNE(); });
        ASSERT_EQ(tsne->numDataPoints(), kBlobs * kPerBlob);
        trigger("actionScatterplotView");
        auto* second = qobject_cast<UI_TsneWidget*>(w().views().back());
        ASSERT_TRUE(second && second->plot() != plots[0]);
        plots[1] = second->plot();
        for (UI_ScatterplotWidget* plot : plots) ASSERT_NO_FATAL_FAILURE(laidOut(plot));
    }

    // The plot at its fixed size, drawn.
    static void laidOut(UI_ScatterplotWidget* plot) {
        plot->setFixedSize(kSide + 40, kSide);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
        ASSERT_TRUE(QTest::qWaitFor([&] { return plot->size() == QSize(kSide + 40, kSide); }, 5000))
            << plot->width() << " x " << plot->height();
        plot->grabFramebuffer();
        ASSERT_NE(plot->pointRenderer(), nullptr);
    }

    // kBlobs blobs of kPerBlob events over four markers: four groups far
    // apart, four blobs close together in each.
    QString blobFile() {
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0.0f, 0.3f);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < kBlobs * kPerBlob; ++e) {
            const int blob = e % kBlobs;
            std::vector<float> row = {noise(random), noise(random), noise(random), noise(random)};
            row[size_t(blob / 4)] += 40.0f;
            row[size_t((blob / 4 + 1) % 4)] += 4.0f * float(blob % 4);
            rows.push_back(row);
        }
        FcsTestFile f = FcsTestFile::floats(rows);
        return QString::fromStdString(f.write(dir, "blobs.fcs"));
    }

    // The plot's Sigma and "Cluster Res" set with its own controls, then its
    // "Cluster" pressed.
    void clusterWith(UI_ScatterplotWidget* plot, Clustering c) {
        UI_TsneSettingsSliderWidget* panel = plot->settingsPanel();
        QSpinBox* grid = gridBox(plot);
        ASSERT_NE(grid, nullptr);
        grid->setValue(c.grid);
        panel->setMode(1);  // "Clustering"
        QSpinBox* sigma = sigmaBox(plot);
        ASSERT_NE(sigma, nullptr);
        sigma->setValue(c.sigmaSteps);
        QPushButton* button = childWithText<QPushButton>(panel, "Cluster");
        ASSERT_TRUE(button && button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        panel->setMode(0);
    }
    // The plot's Sigma and "Cluster Res" set with its own controls, then its
    // "Continously" switch ticked with a click on the switch's page: the
    // plot clusters in each frame it draws while its embedding or a setting
    // has changed.
    void clusterContinuouslyWith(UI_ScatterplotWidget* plot, Clustering c) {
        QSpinBox* grid = gridBox(plot);
        ASSERT_NE(grid, nullptr);
        grid->setValue(c.grid);
        QSpinBox* sigma = sigmaBox(plot);
        ASSERT_NE(sigma, nullptr);
        sigma->setValue(c.sigmaSteps);
        QLabel* label = childWithText<QLabel>(plot->settingsPanel(), " Continously");
        auto* continuous = label ? qobject_cast<UI_MaterialCheckBoxWidget*>(label->parentWidget()) : nullptr;
        ASSERT_NE(continuous, nullptr);
        QWebView* page = pagetest::webViewOf(continuous);
        ASSERT_TRUE(pagetest::waitForPage(page));
        QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(18, 12));
        ASSERT_TRUE(continuous->isChecked());
        plot->settingsPanel()->setMode(0);
    }
    // The "Cluster Res" spin box (64 to 1024) of the advanced page, which it
    // shows.
    static QSpinBox* gridBox(UI_ScatterplotWidget* plot) {
        plot->settingsPanel()->setMode(2);
        for (QSpinBox* box : plot->settingsPanel()->findChildren<QSpinBox*>())
            if (box->minimum() == 64 && box->maximum() == 1024) return box;
        return nullptr;
    }
    // The Sigma spin box of the clustering page, which it shows.
    static QSpinBox* sigmaBox(UI_ScatterplotWidget* plot) {
        plot->settingsPanel()->setMode(1);
        QLabel* label = childWithText<QLabel>(plot->settingsPanel(), "Sigma");
        return label ? label->parentWidget()->findChild<QSpinBox*>() : nullptr;
    }

    // The one density cluster set of the analysis.
    MCV_DerivedDataClusters* theSet() {
        MCV_DerivedDataClusters* found = nullptr;
        int sets = 0;
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (QString::fromStdString(s->name()).startsWith("Density Clusters")) {
                ++sets;
                found = s;
            }
        EXPECT_EQ(sets, 1);
        EXPECT_TRUE(found && found->name() == "Density Clusters - Blobs");
        return found;
    }

    // The pixel of the plot (logical, y downwards) that point p is drawn on.
    static QPoint pixelOf(UI_ScatterplotWidget* plot, size_t p) {
        const std::vector<float>& xy = plot->pointRenderer()->plotPositions();
        const int w = plot->width(), h = plot->height(), side = std::min(w, h);
        const int ox = w <= h ? 0 : (w - side) / 2, oy = w <= h ? (h - side) / 2 : 0;
        const int x = ox + int(std::floor(xy[2 * p] * float(side)));
        const int yUp = oy + int(std::floor(xy[2 * p + 1] * float(side)));
        return {x, h - yUp};
    }

    // The cluster each point of the plot is drawn in is the set's: every
    // cluster's points and events are the set's members of it.
    void drawsTheSet(int which, MCV_DerivedDataClusters* set) {
        SCOPED_TRACE("plot " + std::to_string(which + 1));
        MCV_PointRenderer* r = plots[which]->pointRenderer();
        ASSERT_EQ(r->meanShiftClustersName(), set->name()) << "the plot shows the set's clusters";
        const int n = set->numClusters();
        const std::vector<int> drawn = r->pointClusterIds();
        const std::vector<std::pair<int, int>>& refs = *tsne->pointReferences();
        ASSERT_EQ(drawn.size(), refs.size());
        for (int c = 0; c < n; ++c) {
            std::vector<unsigned> points;
            std::set<std::pair<int, int>> events;
            for (size_t p = 0; p < drawn.size(); ++p)
                if (drawn[p] == c) {
                    points.push_back(unsigned(p));
                    events.insert(refs[p]);
                }
            std::vector<unsigned> listed = set->landmarkClusters()[size_t(c)];
            std::sort(listed.begin(), listed.end());
            ASSERT_EQ(listed, points) << "cluster " << c;
            const auto& members = set->clusters()[size_t(c)];
            const std::set<std::pair<int, int>> listedEvents(members.begin(), members.end());
            ASSERT_EQ(listedEvents, events) << "cluster " << c;
            ASSERT_EQ(members.size(), events.size()) << "cluster " << c;
        }
        for (size_t p = 0; p < drawn.size(); ++p) ASSERT_TRUE(drawn[p] >= 0 && drawn[p] < n) << p;
    }

    // Everything a plot shows of its clusters is the set: the cluster each
    // point is drawn in, the set's members of each cluster (points and
    // events), a click's selection, the highlight under the pointer, and the
    // colours of the clusters drawn.
    void showsTheSet(int which, MCV_DerivedDataClusters* set, Clustering formed) {
        SCOPED_TRACE("plot " + std::to_string(which + 1));
        UI_ScatterplotWidget* plot = plots[which];
        MCV_PointRenderer* r = plot->pointRenderer();
        const int n = set->numClusters();
        EXPECT_EQ(sigmaBox(plot)->value(), formed.sigmaSteps) << "the Sigma the clusters were formed with";
        EXPECT_EQ(r->densitySigma(), float(formed.sigmaSteps) * 0.005f);
        EXPECT_EQ(r->msGridSide(), formed.grid);
        EXPECT_EQ(gridBox(plot)->value(), formed.grid) << "the resolution the clusters were formed on";
        plot->settingsPanel()->setMode(0);

        ASSERT_NO_FATAL_FAILURE(drawsTheSet(which, set));
        const std::vector<int> drawn = r->pointClusterIds();

        // A click on a point selects exactly the points drawn in its cluster;
        // the pointer over it highlights that cluster. Every fifth point, and
        // every point with a point of another cluster within two cells.
        const int cell = kSide / formed.grid;
        for (size_t p = 0; p < drawn.size(); ++p) {
            bool border = false;
            for (size_t q = 0; q < drawn.size() && !border; ++q) {
                const QPoint d = pixelOf(plot, q) - pixelOf(plot, p);
                border = drawn[q] != drawn[p] && std::abs(d.x()) <= 2 * cell && std::abs(d.y()) <= 2 * cell;
            }
            if (!border && p % 5 != 0) continue;
            const QPoint at = pixelOf(plot, p);
            sendMouse(plot, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
            ASSERT_EQ(set->highlightId(), drawn[p]) << "point " << p << " at " << at.x() << ", " << at.y();
            sendMouse(plot, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            sendMouse(plot, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            const std::vector<int>* selected = plot->selectionIdxs();
            ASSERT_NE(selected, nullptr);
            std::vector<int> expected;
            for (size_t q = 0; q < drawn.size(); ++q)
                if (drawn[q] == drawn[p]) expected.push_back(int(q));
            std::vector<int> got = *selected;
            std::sort(got.begin(), got.end());
            ASSERT_EQ(got, expected) << "point " << p << " in cluster " << drawn[p];
        }

        // Drawn as the clusters' hues, at full opacity: at every point whose
        // neighbours within the sprite's reach are of its own cluster, the
        // hue of its cluster among the set's n.
        plot->settingsPanel()->setMode(2);
        QRadioButton* hues = childWithText<QRadioButton>(plot->settingsPanel(), "Clusters Points");
        ASSERT_NE(hues, nullptr);
        hues->click();
        plot->pointOpacityChanged(1.0f);
        const QImage frame = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        int checked = 0;
        for (size_t p = 0; p < drawn.size(); ++p) {
            const QPoint at = pixelOf(plot, p);
            bool alone = true;
            for (size_t q = 0; q < drawn.size() && alone; ++q) {
                const QPoint d = pixelOf(plot, q) - at;
                if (drawn[q] != drawn[p] && std::abs(d.x()) <= 6 && std::abs(d.y()) <= 6) alone = false;
            }
            if (!alone) continue;
            ++checked;
            const double h = double(drawn[p]) / double(n);
            auto channel = [h](double k) { return qRound((std::clamp(k, 0.0, 1.0) + 1.0) / 2.0 * 255.0); };
            const QRgb hue = qRgb(channel(std::abs(6 * h - 3) - 1), channel(2 - std::abs(6 * h - 2)),
                                  channel(2 - std::abs(6 * h - 4)));
            const QRgb shown = frame.pixel(at.x(), at.y() - 1);
            ASSERT_TRUE(rgbNear(shown, hue, 3)) << "point " << p << " of cluster " << drawn[p] << " of " << n << ": "
                                                << std::hex << shown << " for " << hue;
        }
        EXPECT_GT(checked, int(drawn.size()) / 2);
        plot->pointOpacityChanged(0.6f);
        plot->setAdvancedMode(DIAGNOSTIC_OFF);
        plot->settingsPanel()->setMode(0);
    }

    // "Save Clusters ..." from the plot's menu into `folder`: the files hold
    // the set's clusters, event for event.
    void savesTheSet(int which, MCV_DerivedDataClusters* set, const QString& folder) {
        SCOPED_TRACE("plot " + std::to_string(which + 1));
        UI_ScatterplotWidget* plot = plots[which];
        ASSERT_TRUE(QDir().mkpath(folder));
        UI_ModalDialogs::answerSaveFile(QDir(folder).filePath("c.fcs"));
        QMenu menu;
        QObject::connect(&menu, &QMenu::aboutToHide, plot, &UI_ScatterplotWidget::menuHidden);
        QTimer::singleShot(0, [&] {
            auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* a : open ? open->actions() : QList<QAction*>())
                if (a->text() == "Save Clusters ...")
                    return QTest::mouseClick(open, Qt::LeftButton, {}, open->actionGeometry(a).center());
            if (open) open->close();
        });
        quietly([&] { plot->showContextMenu(plot->rect().center(), &menu); });
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
        const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(files.size(), set->numClusters()) << files.join(" ").toStdString();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        const int width = data->combinedHeader()->numVariables();
        for (int c = 0; c < set->numClusters(); ++c) {
            const QString name = QDir(folder).filePath("c-" + QString::fromStdString(set->clusterName(c)) + ".fcs");
            QFile file(name);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            const StrictFcs fcs = StrictFcs::parse(file.readAll().toStdString());
            ASSERT_TRUE(fcs.ok) << name.toStdString() << ": " << fcs.error;
            const auto& events = set->clusters()[size_t(c)];
            ASSERT_EQ(fcs.number("$TOT"), int64_t(events.size())) << name.toStdString();
            for (size_t i = 0; i < events.size(); ++i)
                for (int v = 0; v < width; ++v)
                    ASSERT_EQ(
                        std::memcmp(
                            &fcs.values[i * size_t(width) + size_t(v)],
                            &data->rawData(events[i].first)[size_t(events[i].second) * size_t(width) + size_t(v)], 4),
                        0)
                        << name.toStdString() << " " << i << " " << v;
        }
    }

    static void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(pos), w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }

    // Both plots drawn, the first first: what either shows once the window
    // has painted them.
    void drawBoth() {
        for (UI_ScatterplotWidget* plot : plots) plot->grabFramebuffer();
    }

    MCV_TsneAnalysis* tsne = nullptr;
    UI_ScatterplotWidget* plots[2] = {nullptr, nullptr};
};

// Fine clusters on plot 1, coarse ones on plot 2, then plot 1 again: after
// each "Cluster" both plots show the set, which holds the last clustering, and
// so does a plot opened afterwards.
TEST_F(DensityClustersOfTwoPlots, BothPlotsShowSelectAndSaveTheClustersTheSetHolds) {
    const Clustering fine{20, 128}, coarse{70, 256};
    struct Step {
        int plot;
        Clustering with;
    };
    int counts[3] = {0, 0, 0};
    const Step steps[] = {{0, fine}, {1, coarse}, {0, fine}};
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE("Cluster on plot " + std::to_string(steps[s].plot + 1) + ", step " + std::to_string(s));
        clusterWith(plots[steps[s].plot], steps[s].with);
        MCV_DerivedDataClusters* set = theSet();
        ASSERT_NE(set, nullptr);
        counts[s] = set->numClusters();
        ASSERT_GE(counts[s], 2);
        for (int p = 0; p < 2; ++p) {
            showsTheSet(p, set, steps[s].with);
            if (HasFatalFailure()) return;
        }
        savesTheSet(1 - steps[s].plot, set, dir.filePath(QString("saved%1").arg(s)));
    }
    EXPECT_GT(counts[0], counts[1]) << "the coarser Sigma makes fewer clusters";

    // A plot opened now shows the clusters the others show.
    trigger("actionScatterplotView");
    auto* third = qobject_cast<UI_TsneWidget*>(w().views().back());
    ASSERT_TRUE(third && third->plot() != plots[0] && third->plot() != plots[1]);
    plots[1] = third->plot();
    ASSERT_NO_FATAL_FAILURE(laidOut(plots[1]));
    showsTheSet(1, theSet(), steps[2].with);
}

// "Continously" on plot 1, then a new embedding: each frame plot 1 draws
// while the points move forms its clusters anew, and plot 2, drawn after it,
// shows the set those clusters refilled. Once the run has ended both plots
// draw, pick and save the clusters of the last positions.
TEST_F(DensityClustersOfTwoPlots, ClustersFormedInTheFramesOfOnePlotReachTheOtherAsTheEmbeddingMoves) {
    const Clustering with{35, 128};
    ASSERT_NO_FATAL_FAILURE(clusterContinuouslyWith(plots[0], with));
    drawBoth();
    MCV_DerivedDataClusters* set = theSet();
    ASSERT_NE(set, nullptr);
    ASSERT_NO_FATAL_FAILURE(drawsTheSet(1, set));

    // Every 40th iteration a frame of each plot, as the window draws them.
    int updates = 0, checked = 0;
    unsigned formed = plots[0]->pointRenderer()->clusterings();
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != tsne || ++updates % 40 != 0 || HasFatalFailure()) return;
        SCOPED_TRACE("iteration " + std::to_string(updates));
        drawBoth();
        ASSERT_GT(plots[0]->pointRenderer()->clusterings(), formed) << "plot 1 clustered in its frame";
        formed = plots[0]->pointRenderer()->clusterings();
        ASSERT_NO_FATAL_FAILURE(drawsTheSet(0, set));
        ASSERT_NO_FATAL_FAILURE(drawsTheSet(1, set));
        ++checked;
    });
    tsne->setSeed(5);
    quietly([&] { tsne->computeTSNE(); });
    QObject::disconnect(watch);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GE(checked, 5);

    drawBoth();
    EXPECT_EQ(theSet(), set);
    for (int p = 0; p < 2; ++p) {
        showsTheSet(p, set, with);
        if (HasFatalFailure()) return;
    }
    savesTheSet(1, set, dir.filePath("after the run"));
}

// "Continously" on plot 1, and a view opened after a hook that draws plot 1:
// at every 20th iteration plot 1's frame forms clusters on the iteration's
// positions before the later view is handed the same positions without a
// frame of its own, as happens when the window draws plot 1 in its view's
// update. The later plot keeps the clustering it took over through that
// hand-over, and draws exactly the set; plot 2, handed the positions before
// the clustering, follows it all the same.
TEST_F(DensityClustersOfTwoPlots, APlotHandedThePositionsOfItsClusteringBetweenFramesKeepsIt) {
    const Clustering with{35, 128};
    ASSERT_NO_FATAL_FAILURE(clusterContinuouslyWith(plots[0], with));
    drawBoth();
    MCV_DerivedDataClusters* set = theSet();
    ASSERT_NE(set, nullptr);

    int updates = 0;
    auto frame = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a == tsne && ++updates % 20 == 0) plots[0]->grabFramebuffer();
    });
    trigger("actionScatterplotView");
    auto* third = qobject_cast<UI_TsneWidget*>(w().views().back());
    ASSERT_TRUE(third && third->plot() != plots[0] && third->plot() != plots[1]);
    ASSERT_NO_FATAL_FAILURE(laidOut(third->plot()));
    // No frames of its own but the first and the last: between them every
    // update hands the view its positions without drawing them.
    third->framePacer() = UI_FramePacer(1e-9);
    UI_ScatterplotWidget* second = plots[1];
    plots[1] = third->plot();

    // The run's output is hidden, so the first check that fails is kept and
    // reported after it.
    std::string failed;
    int kept = 0;
    unsigned formed = plots[0]->pointRenderer()->clusterings();
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != tsne || updates % 20 != 0 || !failed.empty()) return;
        const std::string at = "iteration " + std::to_string(updates) + ": ";
        if (plots[0]->pointRenderer()->clusterings() <= formed)
            return void(failed = at + "plot 1 formed no clusters in its frame");
        formed = plots[0]->pointRenderer()->clusterings();
        if (plots[1]->pointRenderer()->meanShiftClustersName() != set->name())
            return void(failed = at + "the later plot dropped the clustering of the positions it was handed");
        if (second->pointRenderer()->meanShiftClustersName() != set->name())
            return void(failed = at + "plot 2 did not follow the clustering");
        plots[1]->grabFramebuffer();
        drawsTheSet(1, set);
        if (HasFatalFailure()) return void(failed = at + "the later plot does not draw the set");
        ++kept;
    });
    tsne->setSeed(5);
    quietly([&] { tsne->computeTSNE(); });
    QObject::disconnect(watch);
    QObject::disconnect(frame);
    EXPECT_EQ(failed, "");
    EXPECT_GE(kept, 10);
    EXPECT_EQ(theSet(), set);
}

// Both plots at one Sigma, each clustering at a "Cluster Res" of its own:
// after each clustering both plots show it on its grid, and the set holds
// its clusters. Plot 1 clusters "Continously": a clustering it took over
// stays until its points move, and then it clusters on the grid it shows.
TEST_F(DensityClustersOfTwoPlots, EachPlotShowsTheClusteringOfAnotherClusterResOnItsGrid) {
    struct Step {
        int plot;  // -1: the embedding moves
        Clustering with;
    };
    const Step steps[] = {{0, {40, 128}}, {1, {40, 256}}, {1, {40, 64}}, {-1, {40, 64}}, {1, {40, 128}}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.plot < 0 ? std::string("the embedding moved")
                                   : "plot " + std::to_string(step.plot + 1) + " at " + std::to_string(step.with.grid));
        const unsigned before = plots[0]->pointRenderer()->clusterings();
        if (step.plot == 0) {
            ASSERT_NO_FATAL_FAILURE(clusterContinuouslyWith(plots[0], step.with));
        } else if (step.plot == 1) {
            clusterWith(plots[1], step.with);
        } else {
            quietly([&] { tsne->embed(); });
        }
        drawBoth();
        if (step.plot == 1)
            EXPECT_EQ(plots[0]->pointRenderer()->clusterings(), before) << "plot 1 keeps the clustering it took over";
        else
            EXPECT_GT(plots[0]->pointRenderer()->clusterings(), before) << "plot 1 clustered anew";
        MCV_DerivedDataClusters* set = theSet();
        ASSERT_NE(set, nullptr);
        for (int p = 0; p < 2; ++p) {
            showsTheSet(p, set, step.with);
            if (HasFatalFailure()) return;
        }
        savesTheSet(step.plot == 0 ? 1 : 0, set, dir.filePath(QString("grid %1").arg(&step - steps)));
    }
}

}  // namespace
