#include "pins/VokMultiReadLock.h"
