// A render file that reaches up into the plug-in: the layer check must refuse it.
#include "plugin/handler.h"
