// Pyxet: finds and configures Orvex and HWG network devices.
#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pyxet"));
    return 0;
}
