// Recording a live run as an input script that the scripted host replays
// exactly: what the keyboard and mouse returned to the system in each frame,
// the clock it saw and the calendar time its start-up saw.
//
// Each frame's lines are written, and flushed, as the next loop iteration
// begins, so a run that is killed leaves a script of every frame it
// finished. A frame's block is its clock step (where it changed), then the
// keys and buttons that changed since the last read, the motion read, a
// change of the foreground, and a close of the window in that frame.
#pragma once

#include <string>

#include "platform/dinput8/dinput8.h"

namespace qv::dinput8 {

// Starts recording into `path` (created, or emptied): writes the head of the
// script, with the epoch line, and sets the host up for a recording (the
// clock held through each frame; the calendar time fixed for the start-up).
// Call after the host is configured, before the run. False, with the reason,
// when the file cannot be created or written.
bool StartRecording(const std::string& path, std::string* error);

// After the run: writes how it ended and closes the file. False when a part
// of the recording could not be written (said on standard error, once, when
// it happened). True when no recording runs.
bool FinishRecording();

// What the live input backend read, handed over as the system gets it;
// nothing while no recording runs, and nothing outside the frames (the
// start-up reads no device).
void RecordKeys(const BYTE keys[256]);
void RecordMouse(LONG dx, LONG dy, LONG dz, const BYTE buttons[8]);
void RecordFocus(bool foreground);

}  // namespace qv::dinput8
