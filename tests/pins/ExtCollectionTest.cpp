#include "pins/VokExtCollection.h"

#include <gtest/gtest.h>
