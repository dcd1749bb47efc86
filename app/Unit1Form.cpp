#include "app/Unit1Form.h"

#include "pins/VokStandIn.h"

void RegisterUnit1StandIns() {
    RegisterVokStandInClass("TForm1", true);
    for (const char* className : {"TPanel", "TButton", "TSplitter", "TGroupBox", "TRadioButton",
                                  "TTrackBar", "TEdit", "TZemScope", "TZemWaterfall"}) {
        RegisterVokStandInClass(className);
    }
}
