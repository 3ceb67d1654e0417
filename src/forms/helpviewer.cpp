#include "helpviewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>

namespace forms {

QString FindHelpFile(const QString& helpFile) {
    if (helpFile.isEmpty()) return {};
    if (QFileInfo(helpFile).isAbsolute()) return QFileInfo(helpFile).isFile() ? helpFile : QString();
    const QString programDir = QCoreApplication::applicationDirPath();
    for (const QString& dir : {programDir, programDir + QStringLiteral("/../share/varnel")}) {
        const QString candidate = QDir::cleanPath(dir + QLatin1Char('/') + helpFile);
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}

void ShowHelpViewer(const QString& helpFile, int /*command: every command opens the contents*/) {
    static QPointer<QTextBrowser> viewer;
    const QString path = FindHelpFile(helpFile);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("ヘルプ"),
                        QStringLiteral("ヘルプ ファイル「%1」が見つかりません。").arg(helpFile),
                        QMessageBox::Ok);
        box.exec();
        return;
    }
    if (!viewer) {
        viewer = new QTextBrowser;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setOpenExternalLinks(false);
        viewer->resize(640, 560);
    }
    viewer->setSearchPaths({QFileInfo(path).absolutePath()});
    viewer->setHtml(QString::fromUtf8(file.readAll()));
    viewer->setWindowTitle(viewer->documentTitle().isEmpty() ? helpFile : viewer->documentTitle());
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace forms
