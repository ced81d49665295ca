// Writes one line to the effect's diagnostic log, C:/ProgramData/Kestrune/apo.log.
#pragma once

namespace kestrune {

// Any thread except the real-time one. Opens, appends and closes the file for
// every line, so lines of several threads and instances interleave whole and
// no handle stays open in the audio engine's process. Never fails from the
// caller's view: without the folder (the effect never creates it) the line is
// dropped, and the caller's last-error value is left as it was.
void apoLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrune
