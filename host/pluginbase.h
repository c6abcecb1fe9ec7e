#pragma once

#include "tavrin_global.h"

#include <QObject>

namespace tavrin {

// Base of every plug-in object. The host creates a plug-in through the registry and calls
// init() once; the other operations are the host's to call when it needs them.
class TAVRIN_EXPORT PluginBase : public QObject
{
    Q_OBJECT

public:
    explicit PluginBase(QObject* parent);
    ~PluginBase() override;

    virtual void init();
    virtual void afterInit();
    virtual void render();
    virtual void idle();
    virtual void detach();
};

} // namespace tavrin
