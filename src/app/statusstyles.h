#ifndef STATUSSTYLES_H
#define STATUSSTYLES_H

#include <QLatin1String>

// Style sheets of the status indicator in the status bar.
namespace StatusStyle {
const QLatin1String Idle("background: #aaa;");
const QLatin1String Good("background: #0b0;");
const QLatin1String Bad("background: #b00;");
}

#endif // STATUSSTYLES_H
