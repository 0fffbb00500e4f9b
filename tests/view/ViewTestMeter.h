#pragma once
// Level meters for the face view tests: a quiet one whose set-up always succeeds and which
// counts how many are open, and one on a sound server that is not there.

#include <memory>

class CLevelMeter;

// A meter that reads silence; its mixer counts itself open from its first set-up step until
// it is closed.
std::unique_ptr<CLevelMeter> MakeQuietMeter();
// Quiet meters opened and not closed yet.
int OpenTestMeters();

// A meter on the sound server at a socket nobody listens on: its set-up fails at the
// first step, with this text.
std::unique_ptr<CLevelMeter> MakeFailingMeter();
inline constexpr const char* kFailingMeterText = "There are no waveout devices installed.";
