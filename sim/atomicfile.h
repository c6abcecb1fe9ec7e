#pragma once

#include <QByteArray>
#include <QString>

namespace sim {

// Writes content to path atomically (folders created): readers see the old file or the whole
// new one, never a torn one. False with a message on failure.
bool writeFileAtomically(const QString& path, const QByteArray& content, QString* error = nullptr);

} // namespace sim
