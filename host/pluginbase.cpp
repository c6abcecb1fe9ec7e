#include "pluginbase.h"

namespace tavrin {

PluginBase::PluginBase(QObject* parent)
    : QObject(parent)
{}

PluginBase::~PluginBase() = default;

void PluginBase::init() {}
void PluginBase::afterInit() {}
void PluginBase::render() {}
void PluginBase::idle() {}
void PluginBase::detach() {}

} // namespace tavrin
