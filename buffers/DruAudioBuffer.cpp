#include "buffers/DruAudioBuffer.h"
