#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace sim {

// Writes content to path atomically (folders created): readers see the old file or the whole
// new one, never a torn one. False with a message on failure.
bool writeFileAtomically(const QString& path, const QByteArray& content, QString* error = nullptr);

// The whole content of a regular file of at most maxBytes, read in one go; nothing for a pipe,
// a device, a folder, a larger file or one that cannot be opened, so that no reader blocks or
// swallows an unbounded input.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

} // namespace sim
