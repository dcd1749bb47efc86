#include "pins/VokObject.h"
