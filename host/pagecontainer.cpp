#include "pagecontainer.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace tavrin {

namespace {
QHash<QString, QPointer<QWidget>>& pages()
{
    static QHash<QString, QPointer<QWidget>> byId;
    return byId;
}
} // namespace

int CreateCenterWidget(const QString& id, QWidget* widget)
{
    pages().insert(id, widget);
    return 0;
}

QWidget* centerWidget(const QString& id)
{
    return pages().value(id);
}

} // namespace tavrin
