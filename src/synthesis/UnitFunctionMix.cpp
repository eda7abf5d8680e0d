#include "synthesis/UnitFunction.h"
