// A stand-in for the desktop's screensaver service: it takes the name
// org.freedesktop.ScreenSaver on the session bus, answers each Inhibit with a new cookie and
// prints every call on a line of its own ("Inhibit 1 varnel", "UnInhibit 1").
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

class StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public slots:
    uint Inhibit(const QString& application, const QString&) {
        say(QStringLiteral("Inhibit %1 %2").arg(++last_).arg(application));
        return last_;
    }
    void UnInhibit(uint cookie) { say(QStringLiteral("UnInhibit %1").arg(cookie)); }

public:
    static void say(const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

private:
    uint last_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StandIn standIn;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &standIn,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")))
        return 1;
    StandIn::say(QStringLiteral("ready"));
    return app.exec();
}

#include "screensaver_standin.moc"
