// Small stand-ins for operating-system services: the tick count and opening
// a file, folder or web address with the desktop's default handler.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock in 32 bits; wraps every 49.7 days.
uint32_t TickCount();

// Opens a file, folder or URL with the desktop's handler. Returns false when
// no handler could be started.
bool ShellOpen(const QString& target);

// Starts a program detached. Returns false when it could not be started.
bool StartProgram(const QString& program, const QStringList& arguments);

}  // namespace platform
