#include "forms/progress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <memory>

#include "forms/runtime.h"

namespace forms {

namespace {
// Work that ends within this time shows no dialog at all.
constexpr int kQuietMs = 400;
constexpr int kPollMs = 25;
}  // namespace

bool WaitWithProgress(const QString& text, const std::function<bool()>& finished,
                      const std::function<QString()>& status, const std::function<void()>& cancel) {
    if (finished()) return true;
    bool cancelled = false;
    std::unique_ptr<QProgressDialog> dialog;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished()) {
            loop.quit();
            return;
        }
        if (!dialog && elapsed.elapsed() >= kQuietMs) {
            dialog = std::make_unique<QProgressDialog>(QApplication::activeWindow());
            dialog->setWindowTitle(AppTitle());
            dialog->setCancelButtonText(QStringLiteral("キャンセル"));
            dialog->setRange(0, 0);  // how much is left is not known
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            QObject::connect(dialog.get(), &QProgressDialog::canceled, &loop, [&] {
                if (cancelled) return;
                cancelled = true;
                cancel();
            });
            dialog->show();
        }
        if (dialog && !cancelled) dialog->setLabelText(text + QLatin1Char('\n') + status());
    });
    poll.start(kPollMs);
    loop.exec();
    return !cancelled;
}

}  // namespace forms
