#pragma once

#include <string_view>

/// The main window's form description (Unit1.form), compiled into the program unchanged.
std::string_view Unit1FormDescription();

/// Registers stand-ins (VokStandIn.h) for the window's classes that are not registered yet: the
/// window class `TForm1`, its panels, buttons, splitters, group box, option buttons, sliders and
/// edit boxes, and the displays `TZemScope` and `TZemWaterfall`. A program that builds the real
/// classes registers them first; a headless program reads the window with the stand-ins, so
/// that every processing link of the description is made. Idempotent and thread safe.
void RegisterUnit1StandIns();
