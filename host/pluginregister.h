#pragma once

#include "tavrin_global.h"

#include <QHash>
#include <QStringList>

#include <functional>

class QObject;

namespace tavrin {

class PluginBase;

// Factories of the loaded plug-ins, by plug-in id.
class TAVRIN_EXPORT PluginRegister
{
public:
    using Factory = std::function<PluginBase*(QObject*)>;

    // Records a factory under an id; a later registration of the same id replaces it.
    void regist(const QString& id, Factory factory);
    // Creates the plug-in registered under id, or returns null for an unknown id.
    PluginBase* create(const QString& id, QObject* parent) const;
    // Registered ids in the order of their first registration.
    QStringList ids() const;

private:
    QStringList order;
    QHash<QString, Factory> factories;
};

// The host's one registry.
TAVRIN_EXPORT PluginRegister& tavrinFactory();

} // namespace tavrin
