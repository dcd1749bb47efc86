#include "capture/CaptureClasses.h"

#include "capture/DruDSAudioIn.h"

void RegisterCaptureClasses() {
    RegisterVokClass(TDruDSAudioIn::ClassInfo());
}
