#pragma once

#include <QtCore/qglobal.h>

#if defined(TAVRIN_LIBRARY)
#define TAVRIN_EXPORT Q_DECL_EXPORT
#else
#define TAVRIN_EXPORT Q_DECL_IMPORT
#endif
