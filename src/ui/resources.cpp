#include "resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function in the global namespace, so it must be
// used from a function outside any namespace.
void registerImageResources()
{
    Q_INIT_RESOURCE(images);
}
