/* A Linux-only header outside the platform layer: the layer check must refuse this tree. */
#include <unistd.h>
