#pragma once
// Application-wide settings made once at program entry, before any window.
namespace lb {

// Sets the application title "Linkbeacon" and the desktop file name. No
// display name is set: Qt appends it to every top-level window and message
// box caption on X11 and Wayland, and the captions must read exactly as the
// windows set them ("Kestrel English", "Char not allowd").
void setUpApplication();

// An installed program started outside a program folder moves into the
// user's own (made from the installed one on first use); see ProgramFolder.h.
void enterProgramFolder();

} // namespace lb
