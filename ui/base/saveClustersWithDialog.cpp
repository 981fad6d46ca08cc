#include "saveClustersWithDialog.h"

#include "UI_ModalDialogs.h"
#include "UI_Settings.h"
#include "safeFileName.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_ExportNames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// The registered cluster set named `name`, or null.
MCV_DerivedDataClusters* clusterSet(const std::string& name) {
    MCV_DerivedDataClusters* found = nullptr;
    for (MCV_DerivedDataClusters* set : MCV_CytometryData::Instance()->derivedDataClusters())
        if (set && set->name() == name) found = set;
    return found;
}

// Whether the export of `set` writes any file: one per cluster, or, per
// sample, one per cluster and sample file holding events of it.
bool givesFiles(MCV_DerivedDataClusters* set, bool perSample) {
    if (!perSample) return set->numClusters() > 0;
    const auto& clusters = set->clusters();
    return std::any_of(clusters.begin(), clusters.end(), [](const auto& members) { return !members.empty(); });
}

}  // namespace

bool saveClustersWithDialog(QWidget* parent, const std::string& setName, bool perSample, const QString& title) {
    const QString name = QString::fromStdString(setName);
    auto warn = [&](const QString& text) { UI_ModalDialogs::message(QMessageBox::Warning, parent, title, text); };
    MCV_DerivedDataClusters* set = clusterSet(setName);
    if (!set) {
        warn("There is no cluster set \"" + name + "\" to save; nothing was written.");
        return false;
    }
    if (!givesFiles(set, perSample)) {
        warn("The cluster set \"" + name + "\" has no " + (perSample ? "events in its clusters" : "clusters") +
             "; nothing was written.");
        return false;
    }

    const QString key = QStringLiteral("dataExportDefaultFilePath");
    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    const QString stored = settings->value(key).toString();
    const QString file = UI_ModalDialogs::saveFile(parent, stored.isEmpty() ? QDir::home().absolutePath() : stored,
                                                   QStringLiteral("fcs"), QStringLiteral("Cytometry Files (*.fcs)"),
                                                   safeFileName(name) + QStringLiteral(".fcs"));
    if (file.isEmpty()) return false;
    settings->setValue(key, QFileInfo(file).absolutePath());
    settings->sync();

    // A name typed with another suffix (".bin" among them) keeps it.
    if (!MCV_ExportNames::isFcs(file.toStdString())) {
        warn("Clusters are saved as FCS files only; nothing was written for \"" + file +
             "\". Please choose a file name ending in .fcs.");
        return false;
    }
    if (MCV_CytometryData::Instance()->writeClustersToFiles(setName, file.toStdString(), perSample) != 0) return true;
    warn("The clusters could not all be written to files named after \"" + file + "\".");
    return false;
}
