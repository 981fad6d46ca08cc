#include "ui/base/makeProgressBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

QWidget* makeProgressBox(QLabel** label, QProgressBar** bar) {
    auto* box = new QWidget();
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    *label = new QLabel();
    (*label)->setWordWrap(true);
    *bar = new QProgressBar();
    (*bar)->setRange(0, 100);
    layout->addWidget(*label);
    layout->addWidget(*bar);
    box->hide();
    return box;
}
