#include "pluginregister.h"

#include "pluginbase.h"

namespace tavrin {

void PluginRegister::regist(const QString& id, Factory factory)
{
    if (!factories.contains(id))
        order.append(id);
    factories.insert(id, std::move(factory));
}

PluginBase* PluginRegister::create(const QString& id, QObject* parent) const
{
    const auto it = factories.constFind(id);
    if (it == factories.constEnd() || !*it)
        return nullptr;
    return (*it)(parent);
}

QStringList PluginRegister::ids() const
{
    return order;
}

PluginRegister& tavrinFactory()
{
    static PluginRegister registry;
    return registry;
}

} // namespace tavrin
