#ifndef RESOURCES_H
#define RESOURCES_H

// The images are compiled into the static core library, whose resource
// initialiser the linker drops unless something refers to it. Call this
// before building any widget that shows one of the ":/Images/" pictures.
void registerImageResources();

#endif // RESOURCES_H
