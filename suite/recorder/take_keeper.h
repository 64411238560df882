#pragma once

namespace wavenard {

class THeldTake;
struct TTakeAudio;
struct TTakePlan;

// Makes a reviewed take final as APlan says. A take the plan does not change is let go of as it
// is; otherwise its kept part, with the gain, is written complete into the hidden part file
// beside it, which then replaces it. Raises ERecordingFailure; the take is then held as before.
void KeepTake(THeldTake& ATake, const TTakeAudio& AAudio, const TTakePlan& APlan);

}  // namespace wavenard
