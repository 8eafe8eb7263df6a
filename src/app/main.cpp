#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Linkbeacon"));
    QLabel label(QStringLiteral("Linkbeacon"));
    label.show();
    return app.exec();
}
