#include "commands/literaltitle.h"

#include <QEvent>
#include <QString>
#include <QWidget>
#include <QWindow>

namespace {
const QString kPlaceholder = QStringLiteral("[*]");
const QString kFilterName = QStringLiteral("literal title");

// Hands the title on unchanged whenever the toolkit has just given the
// window system its own reading of it: after each change and when the
// window appears (its native window takes the title when it is made).
class LiteralTitleFilter final : public QObject
{
public:
    explicit LiteralTitleFilter(QWidget *window) : QObject(window) { setObjectName(kFilterName); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::Show)
            showAsSet(static_cast<QWidget *>(watched));
        return false;
    }

    static void showAsSet(QWidget *window)
    {
        QWindow *handle = window->windowHandle();
        if (handle != nullptr && window->windowTitle().contains(kPlaceholder))
            handle->setTitle(window->windowTitle());
    }
};
} // namespace

void setLiteralTitle(QWidget *window, const QString &title)
{
    if (title.contains(kPlaceholder) && window->findChild<QObject *>(kFilterName, Qt::FindDirectChildrenOnly) == nullptr)
        window->installEventFilter(new LiteralTitleFilter(window));
    window->setWindowTitle(title);
}
