#include "pins/VokComponent.h"
