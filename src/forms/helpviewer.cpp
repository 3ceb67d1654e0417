#include "forms/helpviewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>

namespace forms {

QString FindHelpFile(const QString& helpFile) {
    if (helpFile.isEmpty()) return {};
    if (QFileInfo(helpFile).isAbsolute())
        return QFileInfo(helpFile).isFile() ? helpFile : QString();
    const QString programDir = QApplication::applicationDirPath();
    for (const QString& dir : {programDir, programDir + QStringLiteral("/../share/varnel")}) {
        const QString candidate = QDir::cleanPath(dir + QLatin1Char('/') + helpFile);
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}

namespace {

// The help window: modeless, and Esc closes it as it closes a dialog.
class HelpBrowser : public QTextBrowser {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(event);
    }
};

// The viewer's own report: a warning of the help viewer, not a message of the program.
void report(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("ヘルプ"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

}  // namespace

void ShowHelpViewer(const QString& helpFile, int /*command: every command opens the contents*/) {
    static QPointer<QTextBrowser> viewer;
    const QString path = FindHelpFile(helpFile);
    if (path.isEmpty()) {
        report(QStringLiteral("ヘルプ ファイル「%1」が見つかりません。\n"
                              "プログラムと同じフォルダー、またはインストール先の share/varnel "
                              "フォルダーに置いてください。")
                   .arg(helpFile));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(QStringLiteral("ヘルプ ファイル「%1」を開けません。\n%2")
                   .arg(path, file.errorString()));
        return;
    }
    const QByteArray content = file.readAll();
    // The viewer shows HTML text; a binary file of some other help format is not shown.
    if (content.contains('\0')) {
        report(QStringLiteral("ヘルプ ファイル「%1」は、このビューアーで表示できない形式です。")
                   .arg(path));
        return;
    }
    if (!viewer) {
        viewer = new HelpBrowser;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setOpenExternalLinks(false);
        viewer->resize(640, 560);
    }
    viewer->setSearchPaths({QFileInfo(path).absolutePath()});
    viewer->setHtml(QString::fromUtf8(content));
    viewer->setWindowTitle(viewer->documentTitle().isEmpty() ? helpFile : viewer->documentTitle());
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace forms
