#pragma once

#include "tavrin_global.h"

class QString;
class QWidget;

namespace tavrin {

// Hands a plug-in's page to the host, which shows and owns it. Returns 0.
TAVRIN_EXPORT int CreateCenterWidget(const QString& id, QWidget* widget);

// The page a plug-in handed over under id, or null (never handed over, or destroyed since).
TAVRIN_EXPORT QWidget* centerWidget(const QString& id);

} // namespace tavrin
