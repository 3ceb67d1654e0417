#include "forms/filedialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace forms {

namespace {
std::function<QString(bool, const QString&)> g_dialogAction;
}  // namespace

QString GetOpenFileName(const QString& title, const QString& filter, const QString& dir) {
    if (g_dialogAction) return g_dialogAction(false, title);
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, dir, filter);
}

QString GetSaveFileName(const QString& title, const QString& filter, const QString& suffix,
                        const QString& dir) {
    if (g_dialogAction) return g_dialogAction(true, title);
    QFileDialog dialog(QApplication::activeWindow(), title, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void SetFileDialogAction(std::function<QString(bool, const QString&)> action) {
    g_dialogAction = std::move(action);
}

}  // namespace forms
