// Building the four programs again while the run goes on, for tools that
// let a person edit the shader files and see the result without a restart.
//
// The demo itself builds its programs once (buildShaderPrograms); nothing
// here is used by it.
#pragma once

// Builds all four programs afresh from the eight files in shaders/ and looks
// their uniforms up again, with a current context. The new set replaces the
// old one only when every stage compiled and every program linked; otherwise
// the programs and uniform locations in use stay exactly as they were, so the
// picture does not break while a file is being edited.
//
// Every file must exist (a missing one ends the process, as at start-up);
// check before calling. The usual start-up report is not repeated: on
// success one line, plus any uniform the new shaders no longer have; on
// failure the compiler's messages for each stage that failed, the link log of
// each program that did not link, and a line saying the old programs stay.
// Returns true when the new programs are in use.
bool rebuildShaderPrograms();
