// "Classify with Template...": a table of template clusters read from a CSV
// file becomes a template classification with its settings tab (no view; its
// tree is opened through the SPADE view command).
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "app/TemplateTable.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/template/UI_TemplateSettingsWidget.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

void MainWindow::classifyData() {
    m_settings->sync();
    const QString stored = m_settings->value("dataDefaultFilePath").toString();
    const QString start = QDir(stored.isEmpty() ? QDir::homePath() : stored).absolutePath();
    const QStringList files = UI_ModalDialogs::openFiles(this, start, tr("cvs table (*.csv)"), true);
    if (files.isEmpty()) return;

    // Only the first of several chosen files is read.
    const TemplateTable table = readTemplateTable(files.first());
    const bool refused = !table.error.isEmpty();
    if (refused) qDebug() << "ERROR: Not all csv lines are of the same size.";
    m_settings->setValue("dataDefaultFilePath", QFileInfo(files.first()).absolutePath());
    m_settings->sync();
    // A table that could not be read would classify every event as
    // unassigned: the user is told instead and nothing is made.
    if (refused) {
        UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"), table.error);
        return;
    }
    if (!hasData()) return;

    const QString base = QStringLiteral("Template Matching Analysis");
    bool ok = false;
    QString name = UI_ModalDialogs::getText(nullptr, QStringLiteral("Analysis Name"),
                                            QStringLiteral("Please name the new Template Matching Analysis.\n Please "
                                                           "use unique names to identify your analysis in the system."),
                                            base, &ok);
    if (name.isEmpty()) name = base;
    // It carries the SPADE type code and, like SPADE, names its cluster set
    // after itself.
    name = uniqueAnalysisName(name, ANALYSIS_SPADE);

    auto* analysis = new MCV_TemplateAnalysis();
    analysis->init(m_bridge, name.toStdString(), table.rows);
    // The tab bears the name the analysis holds, whatever the data model did.
    auto* panel = new UI_TemplateSettingsWidget(this, analysis);
    addAnalysis(analysis);
    addSettingsPanel(panel, analysis, QString::fromStdString(analysis->name()));
    refreshUI();
}
