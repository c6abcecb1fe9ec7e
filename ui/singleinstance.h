#pragma once

#include <QPointer>
#include <QWidget>

// The one panel of its class: created on the first call with parent; later calls re-parent it
// to a given parent that differs from its current one. The pointer is guarded, so a panel that
// was destroyed with its page is created afresh.
template <class Panel> Panel* singleInstance(QPointer<Panel>& slot, QWidget* parent)
{
    if (!slot) {
        slot = new Panel(parent);
        return slot;
    }
    if (parent && slot->parentWidget() != parent)
        slot->setParent(parent);
    return slot;
}
