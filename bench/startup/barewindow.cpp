// The reference for the start-up benchmark: an empty window of the main
// window's size that shows itself and quits once the event loop is idle.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(424, 321);
    window.setWindowTitle(QStringLiteral("TamblinVX Lofter"));
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
