// A stand-in screensaver service: owns org.freedesktop.ScreenSaver on the session bus, answers
// each Inhibit with a new cookie and prints every call ("Inhibit 1 varnel", "UnInhibit 1").
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

class StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
    uint last_ = 0;

public slots:
    uint Inhibit(const QString& application, const QString&) {
        std::printf("Inhibit %u %s\n", ++last_, qPrintable(application));
        return std::fflush(stdout), last_;
    }
    void UnInhibit(uint cookie) { std::printf("UnInhibit %u\n", cookie), std::fflush(stdout); }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StandIn standIn;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/ScreenSaver", &standIn,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.ScreenSaver"))
        return 1;
    std::printf("ready\n"), std::fflush(stdout);
    return app.exec();
}

#include "screensaver_standin.moc"
