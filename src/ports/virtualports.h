#ifndef VIRTUALPORTS_H
#define VIRTUALPORTS_H

#include <QString>

// Virtual serial ports (pseudo-terminals of the sensor simulator, or of a
// socat a user starts) are announced as symbolic links to their device in
// one per-user directory: kelvaset/ports under the runtime directory.
QString virtualPortDirectory();

#endif // VIRTUALPORTS_H
