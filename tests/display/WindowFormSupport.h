#pragma once

// Reads the main window's description (or a written copy of it) with the processing, capture
// and stand-in classes registered; the caller registers the display classes it wants real.

#include "app/Unit1Form.h"
#include "capture/CaptureClasses.h"
#include "components/ComponentClasses.h"
#include "pins/VokFormReader.h"

#include <memory>
#include <string_view>

namespace windowform {

/// Any handler name of the window is accepted (no program is attached).
inline std::unique_ptr<TVokComponent> ReadWindow(std::string_view text) {
    RegisterVokClasses();
    RegisterComponentClasses();
    RegisterCaptureClasses();
    RegisterUnit1StandIns();
    TVokFormReader reader("Unit1.form");
    reader.SetEventResolver([](TVokComponent&, const TVokPropertyInfo&, const std::string&) {
        return TVokEventValue{};
    });
    return reader.Read(text);
}

} // namespace windowform
