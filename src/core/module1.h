#pragma once

#include <cstdint>

// The application's global state.
namespace Module1 {

// Seconds each picture stays on screen in a slide show. 0 until the main window has loaded,
// which sets 3; written by the settings dialog's OK; read when the slide show loads.
extern int16_t interval;

}  // namespace Module1
