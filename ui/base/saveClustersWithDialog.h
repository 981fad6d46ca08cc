#pragma once

#include <QString>

#include <string>

class QWidget;

// The cluster export of the scatter plot and the heat map: asks for a file
// name in the settings store's "dataExportDefaultFilePath" folder (the home
// folder when unset), proposing the set's name + ".fcs", remembers the chosen
// folder and writes the registered cluster set `setName` as FCS files, one
// per cluster (per cluster and sample file with `perSample`), named after the
// chosen file. The export writes FCS files only, so that is all the dialog
// offers. When any file of the series exists, one question (titled `title`)
// says how many of them would be replaced; No writes nothing. Whenever
// nothing is written (no such set, a set that gives no file, a name that
// does not end in .fcs) or a file fails, a warning box titled `title` says
// so, a failure with each file's reason. Returns whether every file was
// written; a cancelled dialog or a No returns false without a box.
bool saveClustersWithDialog(QWidget* parent, const std::string& setName, bool perSample, const QString& title);
