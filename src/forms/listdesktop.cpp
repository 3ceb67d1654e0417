// The list box's part in the desktop: keys that move and remove entries, entries dragged to
// another place, and files dropped from other programs.
#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

#include "forms/controls.h"
#include "forms/runtime.h"
#include "system/filenames.h"

namespace forms {

namespace {

// A drag of an entry carries the process and the list it comes from, then the entry's position.
constexpr char kEntryMime[] = "application/x-varnel-list-entry";
QByteArray entryTag(const QListWidget* list) {
    return QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
           QByteArray::number(quintptr(list)) + ' ';
}

// The keys, drags and drops a list box offers its form: KeyDown, ItemDrag and FilesDropped.
class ListDesktop : public QObject {
public:
    ListDesktop(ListBox& box, QListWidget* list) : QObject(list), box_(box), list_(list) {
        list->installEventFilter(this);
        list->viewport()->installEventFilter(this);
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == list_) return event->type() == QEvent::KeyPress && key(event);
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* mouse = static_cast<QMouseEvent*>(event);
                pressRow_ = mouse->button() == Qt::LeftButton
                                ? list_->indexAt(mouse->position().toPoint()).row()
                                : -1;
                pressAt_ = mouse->position().toPoint();
                return false;
            }
            case QEvent::MouseMove:
                return dragFrom(static_cast<QMouseEvent*>(event));
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (entryDragged(drag->mimeData()) >= 0 && box_.ItemDrag) {
                    drag->setDropAction(Qt::MoveAction);
                    drag->accept();
                } else if (drag->mimeData()->hasUrls() && box_.FilesDropped) {
                    drag->acceptProposedAction();
                } else {
                    drag->ignore();
                }
                return true;
            }
            case QEvent::Drop:
                drop(static_cast<QDropEvent*>(event));
                return true;
            default:
                return false;
        }
    }

private:
    bool key(QEvent* event) {
        auto* press = static_cast<QKeyEvent*>(event);
        int16_t code = press->key() == Qt::Key_Up       ? key::Up
                       : press->key() == Qt::Key_Down   ? key::Down
                       : press->key() == Qt::Key_Delete ? key::Delete
                                                        : 0;
        if (!code || !box_.KeyDown) return false;
        const Qt::KeyboardModifiers held = press->modifiers();
        const int16_t shift = int16_t((held & Qt::ShiftModifier ? key::ShiftMask : 0) |
                                      (held & Qt::ControlModifier ? key::CtrlMask : 0) |
                                      (held & Qt::AltModifier ? key::AltMask : 0));
        const auto handler = box_.KeyDown;
        box_.Parent().raiseEvent([&] { handler(code, shift); });
        return code == 0;
    }

    bool dragFrom(QMouseEvent* mouse) {
        if (pressRow_ < 0 || !(mouse->buttons() & Qt::LeftButton) || !box_.ItemDrag ||
            (mouse->position().toPoint() - pressAt_).manhattanLength() <
                QApplication::startDragDistance())
            return false;
        const int row = pressRow_;
        pressRow_ = -1;
        auto* drag = new QDrag(list_);
        drag->setMimeData(box_.dragData(row));
        drag->exec(Qt::MoveAction);
        return true;
    }

    // The position of the entry a drag carries when it comes from this list, else -1.
    int entryDragged(const QMimeData* data) const {
        const QByteArray tag = entryTag(list_),
                         carried = data->data(QString::fromLatin1(kEntryMime));
        if (!carried.startsWith(tag)) return -1;
        bool ok = false;
        const int row = carried.mid(tag.size()).toInt(&ok);
        return ok && row < list_->count() ? row : -1;
    }

    void drop(QDropEvent* event) {
        const QPoint at = event->position().toPoint();
        const QModelIndex under = list_->indexAt(at);
        int row = under.isValid() ? under.row() : list_->count();
        if (under.isValid() && at.y() > list_->visualRect(under).center().y()) ++row;
        const int from = entryDragged(event->mimeData());
        if (from >= 0 && box_.ItemDrag) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
            const int to = row > from ? row - 1 : row;
            if (to != from) {
                const auto handler = box_.ItemDrag;
                box_.Parent().raiseEvent([&] { handler(from, to); });
            }
        } else if (event->mimeData()->hasUrls() && box_.FilesDropped) {
            event->acceptProposedAction();
            QStringList paths;
            for (const QUrl& url : event->mimeData()->urls()) {
                // The file system's bytes, kept as they are. A file of another machine is no
                // path here: it goes as its URL, which names no file.
                const bool here =
                    url.host().isEmpty() ||
                    url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
                paths << (url.isLocalFile() && here ? PathText(QByteArray::fromPercentEncoding(
                                                          url.path(QUrl::FullyEncoded).toLatin1()))
                                                    : url.toString());
            }
            // Handled once the drop is over, so that the program the files come from is not
            // kept waiting by a message.
            QMetaObject::invokeMethod(
                this,
                [this, paths] {
                    if (const auto handler = box_.FilesDropped)
                        box_.Parent().raiseEvent([&] { handler(paths); });
                },
                Qt::QueuedConnection);
        } else {
            event->ignore();
        }
    }

    ListBox& box_;
    QListWidget* list_;
    int pressRow_ = -1;
    QPoint pressAt_;
};
}  // namespace

QListWidget* ListBox::list() const { return static_cast<QListWidget*>(widget()); }

void ListBox::offerDesktop() { new ListDesktop(*this, list()); }

void ListBox::MoveItem(int from, int to) {
    if (from < 0 || from >= list()->count() || to < 0 || to >= list()->count())
        Raise(err::InvalidArgument);
    list()->insertItem(to, list()->takeItem(from));
    list()->setCurrentRow(to);
}

QMimeData* ListBox::dragData(int index) const {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kEntryMime), entryTag(list()) + QByteArray::number(index));
    return data;
}

}  // namespace forms
