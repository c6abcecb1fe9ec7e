#include "controllerlink.h"

namespace tavrin {

ControllerLink::ControllerLink(QObject* parent)
    : QObject(parent)
{}

ControllerLink::~ControllerLink() = default;

} // namespace tavrin
