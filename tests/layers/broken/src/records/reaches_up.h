/* A file that breaks the direction of dependencies: the layer check must refuse this tree. */
#include "wizard/wizard.h"
