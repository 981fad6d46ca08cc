#include "app/startApplication.h"

#include "analysis/applicationSurfaceFormat.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>
#include <QScreen>
#include <QStyle>

#include <csignal>

void startApplication() {
    // A write past the user's file-size limit (ulimit -f) then fails with
    // "File too large", which every writer reports while it keeps the old
    // file, instead of ending the program and leaving its temporary behind.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setOrganizationName("Merrowfield");
    QCoreApplication::setOrganizationDomain("merrowfield.org");
    QCoreApplication::setApplicationName("Quillmaren");
    setApplicationSurfaceFormat();
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QIcon icon;
    for (int size : {32, 64, 128, 256, 512, 1024}) icon.addFile(QString(":/Icons/AppIcon%1").arg(size));
    QApplication::setWindowIcon(icon);
}

void showCentred(QMainWindow& window) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(static_cast<int>(static_cast<float>(available.width()) * 0.75f),
                     static_cast<int>(static_cast<float>(available.height()) * 0.85f));
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    window.show();
}
