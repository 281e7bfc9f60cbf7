// Placeholder until the table-driven decoder lands.
#include "Cp932.h"
