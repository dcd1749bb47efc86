#include "pins/VokExtCollection.h"
