#include "buffers/DruAudioFormat.h"

#include <gtest/gtest.h>
