#pragma once

namespace midi {

// ALSA and JACK print their complaints to stderr by default: a machine
// without a sequencer or a JACK server gets a screenful of them at every
// start, which a user reads as a crash. This routes them through the
// libraries' own hooks to nowhere; what a refused open needs to say reaches
// the user through the open's reason instead. RtMidi's messages go to the
// error callback that RtMidiBackend sets on every client it makes.
//
// Safe to call from any thread, any number of times; it acts once. Every
// back-end calls it before its first library call.
void RouteLibraryMessages();

}  // namespace midi
