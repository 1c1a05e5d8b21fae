#pragma once

namespace app {

// On X11 a held key arrives as release-and-press pairs, and the toolkit tells
// them from a real release by looking ahead in its event queue for the press.
// Under load that press has not been read yet, the release looks real, and the
// note stops and starts again. Detectable auto-repeat has the X server send
// only the repeated presses while a key is held, and one release when it comes
// up. Call once the application object exists; elsewhere it does nothing and
// returns false.
//
// Returns whether the server agreed. From then on every release is a real one,
// though the toolkit's look-ahead still marks a release as repeated when a
// press of the same key follows within a few milliseconds: a quick re-strike.
bool UseDetectableAutoRepeat();

}  // namespace app
