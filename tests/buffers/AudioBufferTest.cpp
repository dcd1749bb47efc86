#include "buffers/DruAudioBuffer.h"

#include <gtest/gtest.h>
