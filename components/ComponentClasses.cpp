#include "components/ComponentClasses.h"

#include "components/DruAudioToReal.h"
#include "components/DruRealToAudio.h"
#include "components/DruSignalGen.h"
#include "components/DruSpectrum.h"
#include "components/ZemAdd.h"

void RegisterComponentClasses() {
    RegisterVokClass(TDruSignalGen::ClassInfo());
    RegisterVokClass(TDruAudioToReal::ClassInfo());
    RegisterVokClass(TDruSpectrum::ClassInfo());
    RegisterVokClass(TZemAdd::ClassInfo());
    RegisterVokClass(TDruRealToAudio::ClassInfo());
}
