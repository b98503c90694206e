// The global XML namespace table that the gSOAP library refers to. Each
// proxy and service sets its own table on its context; this one (the four
// standard prefixes and the header's) serves a context before that.
#include "envH.h"
#include "h.nsmap"
