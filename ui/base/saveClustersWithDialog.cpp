#include "saveClustersWithDialog.h"

#include "UI_ModalDialogs.h"
#include "UI_Settings.h"
#include "abridgedLines.h"
#include "safeFileName.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_ExportNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <string>
#include <vector>

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

// Whether the export may go on: yes when none of `files` is a file it would
// replace (a regular file, or a link to one), otherwise the user's answer to
// one question that says how many would be replaced. (The file dialog asked
// about the chosen name only, which is never written.) A pipe, folder or
// device in a file's place is never replaced; the writer refuses it and the
// failure says why.
bool replacingAgreed(QWidget* parent, const QString& title, const QString& chosen,
                     const std::vector<std::string>& files) {
    QStringList existing;
    for (const std::string& path : files) {
        const QFileInfo info(QString::fromStdString(path));
        if (info.isFile()) existing << info.fileName();
    }
    if (existing.isEmpty()) return true;
    const QString text =
        existing.size() == 1
            ? QStringLiteral("1 of the %1 files named after \"%2\" already exists. Do you want to replace it?")
                  .arg(files.size())
                  .arg(chosen)
            : QStringLiteral("%1 of the %2 files named after \"%3\" already exist. Do you want to replace them?")
                  .arg(existing.size())
                  .arg(files.size())
                  .arg(chosen);
    return UI_ModalDialogs::question(parent, title, text, abridgedLines(existing));
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
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    if (!replacingAgreed(parent, title, file, data->clusterFileNames(setName, file.toStdString(), perSample)))
        return false;
    if (data->writeClustersToFiles(setName, file.toStdString(), perSample) != 0) return true;
    warn("The clusters could not all be written to files named after \"" + file + "\":\n" +
         abridgedLines(data->exportFailure()));
    return false;
}
