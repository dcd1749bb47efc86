#include "buffers/DruAudioFormat.h"
