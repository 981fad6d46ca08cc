#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>
#include <QScreen>
#include <QStyle>
#include <QSurfaceFormat>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Merrowfield");
    QCoreApplication::setOrganizationDomain("merrowfield.org");
    QCoreApplication::setApplicationName("Quillmaren");

    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    QMainWindow window;
    window.setWindowTitle("Quillmaren");
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(static_cast<int>(available.width() * 0.75f),
                     static_cast<int>(available.height() * 0.85f));
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    window.show();
    return app.exec();
}
