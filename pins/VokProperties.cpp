#include "pins/VokProperties.h"
