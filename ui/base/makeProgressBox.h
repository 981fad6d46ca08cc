#pragma once

class QLabel;
class QProgressBar;
class QWidget;

// The progress display of a panel whose computation runs long: a word-wrapped
// label over a bar from 0 to 100, hidden until a run shows it. The box is
// unparented; `label` and `bar` receive its two parts.
QWidget* makeProgressBox(QLabel** label, QProgressBar** bar);
